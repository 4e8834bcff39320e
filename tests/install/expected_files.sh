# Sourced by staged_install.sh and debian_package.sh: the files an install
# puts under /usr, so that the staged install and the package are held to
# the same list.
#
#   expected_files SOURCE_DIR COMMANDS
#
# Prints them, relative to /usr, sorted, each followed by a blank. COMMANDS:
# the commands that must land in bin/, separated by commas.
expected_files() {
  local source_dir=$1 commands=$2 list signal page program
  list="share/doc/dorvenk/README.md share/doc/dorvenk/copyright"
  for signal in blocks bumps heavisine doppler; do
    list="$list share/doc/dorvenk/examples/$signal.txt share/doc/dorvenk/examples/$signal-clean.txt"
    list="$list share/doc/dorvenk/examples/$signal.answers"
  done
  for page in "$source_dir"/man/*.1; do
    [ -e "$page" ] && list="$list share/man/man1/$(basename "$page").gz"
  done
  for program in ${commands//,/ }; do list="$list bin/$program"; done
  printf '%s\n' $list | sort | tr '\n' ' '
}
