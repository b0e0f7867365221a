# Sourced by tests/chroot_pytest.sh and tools/build_wheels.sh, which run pip inside a chroot.
# The machine's pip configuration: its files, and the local directories they (or PIP_*
# variables) name as indexes, links or constraints, which are mounted at the same paths.
pip_config_files() {
  local file
  for file in /etc/pip.conf /etc/xdg/pip/pip.conf "$HOME/.config/pip/pip.conf" "$HOME/.pip/pip.conf"; do
    [ -f "$file" ] && echo "$file"
  done
  return 0
}

pip_local_dirs() {
  local word path
  {
    pip_config_files | xargs -r cat | sed -n 's/^[^#]*=//p'
    env | sed -n 's/^PIP_[A-Z_]*=//p'
  } | tr ' \t' '\n\n' | while read -r word; do
    path="${word#file://}"
    case "$path" in /*) ;; *) continue ;; esac
    [ -f "$path" ] && path="$(dirname "$path")"
    # A local index links its files relative to itself (../../files/NAME): mount its parent.
    [ "$(basename "$path")" = simple ] && path="$(dirname "$path")"
    [ -d "$path" ] && echo "$path"
  done | sort -u
}
