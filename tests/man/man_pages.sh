#!/usr/bin/env bash
# Keeps the manual pages in step with the commands and texts that exist.
#
#   man_pages.sh MAN_DIR MESSAGES_HPP COEFS PLOT [NOISE]
#
# MAN_DIR       the folder of the page sources (man/*.1)
# MESSAGES_HPP  the header that holds the tool's texts (src/text/messages.hpp)
# COEFS         the built dorvenk-coefs
# PLOT          the dorvenk-plot script
# NOISE         the built dorvenk-noise; when it is not given or does not
#               exist, its options are not checked and the test says so
#
# Checks:
# - every page lints clean with mandoc -T lint and, where groff is installed
#   (it is what man(1) renders with), renders without a warning through groff
#   for a UTF-8 and for an ASCII terminal;
# - every page has the sections a reader looks for, and its .TH line carries
#   the version placeholder that the install substitutes, and no other;
# - every dorvenk page that a page refers to exists;
# - every option that COEFS --help, PLOT --help and NOISE --help mention
#   appears in that command's page;
# - every bell message of the tool (each string literal in MESSAGES_HPP that
#   begins with "\a") appears in dorvenk.1's list of messages, DIAGNOSTICS.
#   Adjacent literals are joined as the compiler joins them; a "{name}"
#   placeholder in a message matches any text in the page.
set -uo pipefail
export LC_ALL=C.UTF-8

if [ $# -lt 4 ] || [ $# -gt 5 ]; then
  echo "usage: man_pages.sh MAN_DIR MESSAGES_HPP COEFS PLOT [NOISE]" >&2
  exit 2
fi
man_dir=$1
messages_hpp=$2
coefs=$3
plot=$4
noise=${5-}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! command -v mandoc > /dev/null; then
  echo "FAIL: mandoc not found; bash scripts/install-deps installs it (Debian package mandoc)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ---- The bell messages of a header, one per line: "ERE<TAB>text" ----
#
# A small C++ tokenizer: comments are skipped, string literals separated only
# by white space or comments are joined, and a group of literals whose text
# begins with a bell (\a, \x07 or \007) is a message. Its white space is
# collapsed to single blanks, and each placeholder ("{name}", also "{}" or
# "{name:format}") becomes ".{1,80}" in the pattern; "{{" and "}}" stand for
# braces.
bell_messages() {
  awk '
    function hexval(h,   v, k, ch) {
      v = 0
      for (k = 1; k <= length(h); ++k) {
        ch = index("0123456789abcdef", tolower(substr(h, k, 1))) - 1
        v = v * 16 + ch
      }
      return v
    }
    function end_group() {
      if (in_group) emit(group)
      group = ""
      in_group = 0
    }
    function emit(text,   ere, shown, k, ch, rest, name) {
      if (substr(text, 1, 1) != "\007") return
      text = substr(text, 2)
      gsub(/[ \t\r\n\v\f]+/, " ", text)
      sub(/^ /, "", text)
      sub(/ $/, "", text)
      if (text == "") return
      ere = ""
      for (k = 1; k <= length(text); ++k) {
        ch = substr(text, k, 1)
        rest = substr(text, k)
        if (substr(rest, 1, 2) == "{{" || substr(rest, 1, 2) == "}}") {
          ere = ere "\\" ch
          ++k
        } else if (ch == "{" && match(rest, /^\{[A-Za-z0-9_]*(:[^{}]*)?\}/)) {
          ere = ere ".{1,80}"
          k += RLENGTH - 1
        } else if (index("\\.[]()*+?{}|^$", ch)) {
          ere = ere "\\" ch
        } else {
          ere = ere ch
        }
      }
      print ere "\t" text
    }
    # Reads the literal that starts at src[i] (the opening quote); returns it.
    function literal(   out, ch, e, digits, v, k) {
      out = ""
      ++i
      while (i <= n) {
        ch = substr(src, i, 1)
        if (ch == "\"") { ++i; return out }
        if (ch != "\\") { out = out ch; ++i; continue }
        e = substr(src, i + 1, 1)
        i += 2
        if (e == "a") out = out "\007"
        else if (e == "n") out = out "\n"
        else if (e == "t") out = out "\t"
        else if (e == "r") out = out "\r"
        else if (e == "x") {
          digits = ""
          while (substr(src, i, 1) ~ /[0-9A-Fa-f]/) { digits = digits substr(src, i, 1); ++i }
          out = out sprintf("%c", hexval(digits))
        } else if (e ~ /[0-7]/) {
          digits = e
          while (length(digits) < 3 && substr(src, i, 1) ~ /[0-7]/) { digits = digits substr(src, i, 1); ++i }
          v = 0
          for (k = 1; k <= length(digits); ++k) v = v * 8 + substr(digits, k, 1)
          out = out sprintf("%c", v)
        } else out = out e
      }
      return out
    }
    { src = src $0 "\n" }
    END {
      n = length(src)
      i = 1
      while (i <= n) {
        c = substr(src, i, 1)
        two = substr(src, i, 2)
        if (two == "//") {
          rest = substr(src, i)
          j = index(rest, "\n")
          i = j ? i + j : n + 1
        } else if (two == "/*") {
          rest = substr(src, i + 2)
          j = index(rest, "*/")
          i = j ? i + 2 + j + 1 : n + 1
        } else if (c == "\"") {
          group = group literal()
          in_group = 1
        } else if (c == "\047") {
          end_group()
          ++i
          while (i <= n && substr(src, i, 1) != "\047") i += (substr(src, i, 1) == "\\") ? 2 : 1
          ++i
        } else if (c ~ /[ \t\r\n\v\f]/) {
          ++i
        } else if (c ~ /[A-Za-z0-9_]/) {
          word = ""
          while (i <= n && substr(src, i, 1) ~ /[A-Za-z0-9_]/) { word = word substr(src, i, 1); ++i }
          # An encoding prefix belongs to the literal that follows it.
          if (!(substr(src, i, 1) == "\"" && (word == "u8" || word == "u" || word == "U" || word == "L"))) end_group()
        } else {
          end_group()
          ++i
        }
      }
      end_group()
    }' "$1"
}

# The parser on two ways a text can be written: cut into pieces around its
# values (the messages no longer are, but a message written so must still be
# found), and whole templates with named placeholders split over lines with
# comments between.
cat > "$work/pieces.hpp" << 'EOF'
// A comment with "\anot a message" in it.
inline constexpr std::string_view data_over = "\adata over! [Max ";   // 32768
inline constexpr std::string_view data_over_after = "]\n";
inline constexpr char quote = '"';
inline constexpr std::string_view done = "\a[完了]\nOutputfile > [ ";
EOF
cat > "$work/templates.hpp" << 'EOF'
/* "\ablock comment" */
inline constexpr std::string_view file_error = "\afile error! [{file}: {reason}]\n";
inline constexpr std::string_view changed =
    "\adata changed! [{file}] "  // first piece
    /* second */ u8"the columns {{do not}} show it\n"sv;
inline constexpr std::string_view bell_hex = "\x07" "[ 1～{limit} ]\n";
inline constexpr std::string_view bell_octal = "\007line {:d}: {0}\n";
inline constexpr std::string_view no_bell = "Outputfile[ {file} ]\n";
EOF
printf '%s\t%s\n' \
  'data over! \[Max' 'data over! [Max' \
  '\[完了\] Outputfile > \[' '[完了] Outputfile > [' > "$work/pieces.expected"
printf '%s\t%s\n' \
  'file error! \[.{1,80}: .{1,80}\]' 'file error! [{file}: {reason}]' \
  'data changed! \[.{1,80}\] the columns \{do not\} show it' 'data changed! [{file}] the columns {{do not}} show it' \
  '\[ 1～.{1,80} \]' '[ 1～{limit} ]' \
  'line .{1,80}: .{1,80}' 'line {:d}: {0}' > "$work/templates.expected"
for form in pieces templates; do
  bell_messages "$work/$form.hpp" > "$work/$form.got"
  if ! cmp -s "$work/$form.got" "$work/$form.expected"; then
    fail "the message parser reads the $form form wrongly:"
    diff "$work/$form.expected" "$work/$form.got" >&2
  fi
done

# ---- Each page: lint, rendering, sections, version ----

# A page's text as a reader sees it, on one line with single blanks: bold and
# underline taken away, minus signs and hyphens as "-", no-break spaces as
# blanks. With a second argument, only the text of that section.
readonly DASHES=$'\u2212\u2010\u2011' NO_BREAK_SPACE=$'\u00a0'
page_text() {
  mandoc -T utf8 -O width=1000 "$1" |
    sed "s/.\x08//g; s/[$DASHES]/-/g; s/$NO_BREAK_SPACE/ /g" |
    awk -v section="${2-}" 'section == "" || /^[^ ]/ { on = (section == "" || $0 == section) } on' |
    tr -s ' \t\n' '   '
}

required_sections=("NAME" "SYNOPSIS" "DESCRIPTION" "EXIT STATUS" "EXAMPLES" "SEE ALSO")
have_groff=0
if command -v groff > /dev/null; then
  have_groff=1
else
  echo "NOTE: groff not installed; the rendering through man(1) is not checked, only mandoc's lint" >&2
fi

for name in dorvenk dorvenk-coefs dorvenk-noise dorvenk-plot; do
  [ -f "$man_dir/$name.1" ] || fail "$man_dir/$name.1 is missing"
done
shopt -s nullglob
for source in "$man_dir"/*.1; do
  name=$(basename "$source" .1)
  # The install substitutes @VAR@ for every defined variable and blanks the
  # undefined ones: only the version may appear.
  if grep -n '@[A-Za-z_][A-Za-z0-9_]*@' "$source" | grep -v '@PROJECT_VERSION@' >&2; then
    fail "$name.1 holds a @VAR@ other than @PROJECT_VERSION@, which the install would replace"
  fi
  grep -Eq '^\.TH [^ ]+ 1 [^ ]+ "dorvenk @PROJECT_VERSION@"' "$source" ||
    fail "$name.1: the .TH line does not read .TH TITLE 1 DATE \"dorvenk @PROJECT_VERSION@\""
  page="$work/$name.1"
  sed 's/@PROJECT_VERSION@/1.0.0/g' "$source" > "$page"

  lint=$(mandoc -T lint -W all "$page" 2>&1)
  [ -z "$lint" ] || fail "$name.1 does not lint clean:"$'\n'"$lint"
  if [ "$have_groff" = 1 ]; then
    for device in utf8 ascii; do
      warnings=$(groff -k -man -T"$device" -wall -z "$page" 2>&1)
      [ -z "$warnings" ] || fail "$name.1 renders with warnings through groff -T$device:"$'\n'"$warnings"
    done
  fi

  sections=("${required_sections[@]}")
  [ "$name" = dorvenk ] && sections+=("FILES" "ENVIRONMENT" "DIAGNOSTICS")
  for section in "${sections[@]}"; do
    grep -Eq "^\\.SH \"?$section\"?\$" "$page" || fail "$name.1 has no section $section"
  done
  page_text "$page" > "$work/$name.txt"
  [ "$name" = dorvenk ] && page_text "$page" DIAGNOSTICS > "$work/$name.diagnostics"
done

# Every dorvenk page that a page refers to exists.
for text in "$work"/*.txt; do
  for reference in $(grep -oE '(^|[^A-Za-z0-9_-])dorvenk(-[a-z]+)*\(1\)' "$text" | grep -oE 'dorvenk[a-z-]*' | sort -u); do
    [ -f "$man_dir/$reference.1" ] || fail "$(basename "$text" .txt).1 refers to $reference(1), which has no page"
  done
done

# ---- Options ----

# The options a help text mentions: words that begin with - or -- and a letter.
options_of() {
  grep -oE '(^|[^A-Za-z0-9_-])--?[A-Za-z][A-Za-z0-9-]*' | sed 's/^[^-]*//' | sort -u
}

check_options() {
  local command_name=$1
  shift
  local help
  if ! help=$("$@" --help 2> "$work/help.err"); then
    fail "$command_name --help failed: $(cat "$work/help.err")"
    return
  fi
  [ -n "$help" ] || fail "$command_name --help printed nothing"
  local text="$work/$command_name.txt"
  [ -f "$text" ] || return
  local count=0
  while read -r option; do
    [ -n "$option" ] || continue
    count=$((count + 1))
    grep -Eq -- "(^|[^A-Za-z0-9_-])$option([^A-Za-z0-9_-]|\$)" "$text" ||
      fail "$command_name --help lists $option, but $command_name.1 does not"
  done < <(printf '%s\n' "$help" | options_of)
  echo "$command_name: $count options of --help checked against the page"
}

check_options dorvenk-coefs "$coefs"
check_options dorvenk-plot bash "$plot"
if [ -n "$noise" ] && [ -x "$noise" ]; then
  check_options dorvenk-noise "$noise"
else
  echo "SKIP: dorvenk-noise is not built (no binary${noise:+ at $noise}); its options are not checked against dorvenk-noise.1"
fi

# ---- Messages ----

bell_messages "$messages_hpp" > "$work/messages"
count=$(wc -l < "$work/messages")
if [ "$count" -lt 5 ]; then
  fail "found only $count bell messages in $messages_hpp; has the way its texts are written changed?"
fi
if [ -f "$work/dorvenk.diagnostics" ]; then
  while IFS=$'\t' read -r pattern shown; do
    grep -Eq -- "$pattern" "$work/dorvenk.diagnostics" ||
      fail "dorvenk.1 does not list the message \"$shown\" under DIAGNOSTICS"
  done < "$work/messages"
  echo "dorvenk: $count bell messages of $messages_hpp checked against the page's DIAGNOSTICS"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures problem(s) with the manual pages" >&2
  exit 1
fi
echo "manual pages in step"
