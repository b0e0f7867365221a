// write_string(node, indent=None, default_xml_def=None) and
// write_file(node, file_path, indent=None, default_xml_def=None).
#pragma once

#include "ffi/bind.hpp"

namespace brindle::write {

ffi::FastcallEntry py_write_string;
ffi::FastcallEntry py_write_file;

}  // namespace brindle::write
