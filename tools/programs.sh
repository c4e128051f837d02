# Sourced by the scripts that handle the product's programs: the one list programs.txt, read
# with the product identifier of common/rules/product.h put in for "@ID@".
#   orv_product_header            the header every product name comes from
#   orv_product_id                the product identifier
#   orv_product_text NAME         the text of product.h's wide constant NAME (kProductName, ...),
#                                 its doubled backslashes single
#   orv_programs [COLUMN...]      the rows in their order, the named columns (all by default),
#                                 separated by blanks
#   orv_program ROLE COLUMN       one field of one program's row
#   orv_executables               the file names of the rows that are programs (.exe), in order
# Columns: role target file stop install folder.
orv_programs_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
orv_product_header=$orv_programs_root/common/rules/product.h

orv_product_id() {
  sed -n 's/^#define ORV_PRODUCT_ID "\(.*\)"$/\1/p' "$orv_product_header"
}

orv_product_text() {
  sed -n "s/^inline constexpr wchar_t $1\\[\\] = L\"\\(.*\\)\";\$/\\1/p" "$orv_product_header" |
    sed 's/\\\\/\\/g'
}

orv_programs() {
  local id wanted=${*:-role target file stop install folder} columns=() name
  id=$(orv_product_id)
  for name in $wanted; do
    case $name in
      role) columns+=(1) ;; target) columns+=(2) ;; file) columns+=(3) ;; stop) columns+=(4) ;;
      install) columns+=(5) ;; folder) columns+=(6) ;;
      *) echo "orv_programs: no column \"$name\"" >&2; return 2 ;;
    esac
  done
  awk -v id="$id" -v columns="${columns[*]}" '
    /^[[:space:]]*(#|$)/ { next }
    { gsub(/@ID@/, id); n = split(columns, c, " "); line = $c[1]
      for (i = 2; i <= n; i++) line = line " " $c[i]
      print line }' "$orv_programs_root/programs.txt"
}

orv_program() {
  local role=$1 column=$2 r v
  while read -r r v; do
    [ "$r" = "$role" ] && { echo "$v"; return 0; }
  done < <(orv_programs role "$column")
  echo "orv_program: programs.txt has no program \"$role\"" >&2
  return 1
}

orv_executables() { orv_programs file | grep -i '\.exe$'; }
