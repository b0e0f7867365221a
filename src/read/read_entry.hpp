// read_string(xml_string, root_tag) and read_file(file_path, root_tag).
#pragma once

#include "ffi/bind.hpp"

namespace brindle::read {

ffi::FastcallEntry py_read_string;
ffi::FastcallEntry py_read_file;

}  // namespace brindle::read
