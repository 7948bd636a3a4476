#!/usr/bin/env bash
# Writes the tables behind reading order and Arabic joining from the Unicode
# data that Debian's unicode-data package installs:
#   strings/bidi_tables.inc     bidi class of every code point (UnicodeData.txt;
#                               unassigned ones take the defaults that
#                               DerivedBidiClass.txt's @missing lines give, or
#                               BN when DerivedCoreProperties.txt calls them
#                               default-ignorable or PropList.txt a
#                               noncharacter), mirrored counterparts
#                               (BidiMirroring.txt), opening brackets
#                               (BidiBrackets.txt) and the brackets' canonical
#                               equivalents (UnicodeData.txt)
#   strings/joining_tables.inc  joining type of every code point
#                               (ArabicShaping.txt; unlisted Mn, Me and Cf are
#                               T, the rest U), the presentation forms of each
#                               letter and the lam-alef ligatures (the
#                               <isolated>, <final>, <initial> and <medial>
#                               decompositions of UnicodeData.txt)
# The tables are never edited by hand: run this again for a newer Unicode,
# and the unit tests that compare every code point with the same files tell
# when they differ.
#
#   bash scripts/gen-bidi-tables.sh [UNICODE_DIR]   (default /usr/share/unicode)
set -euo pipefail
dir=${1:-/usr/share/unicode}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
version=$(sed -n '1s/^# DerivedBidiClass-\(.*\)\.txt.*/\1/p' "$dir/extracted/DerivedBidiClass.txt")
# How the index packs a stream offset beside a code point is the reader's
# to say (strings/unicode_runs.h): the tables follow it.
offset_bits=$(sed -n 's/^constexpr uint32_t kRunIndexOffsetBits = \([0-9][0-9]*\);.*/\1/p' "$root/strings/unicode_runs.h")
[[ -n $offset_bits ]] || { echo "gen-bidi-tables: no kRunIndexOffsetBits in strings/unicode_runs.h" >&2; exit 1; }
span=$((1 << offset_bits))

# mawk, Debian's default awk, has no strtonum and no bit operations.
common='
function hex(s,  i, v) { s = toupper(s); v = 0
  for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789ABCDEF", substr(s, i, 1)) - 1; return v }
function trim(s) { gsub(/^[ \t]+|[ \t]+$/, "", s); return s }
function range_first(s,  r) { split(trim(s), r, /\.\./); return hex(r[1]) }
function range_last(s,  r, n) { n = split(trim(s), r, /\.\./); return hex(r[n]) }
function die(message) { print message > "/dev/stderr"; failed = 1; exit 1 }
# 7-bit groups, low first, the high bit set on all but the last.
function varint(v,  s) { s = ""
  while (v >= 128) { s = s sprintf("0x%02X, ", 128 + v % 128); v = int(v / 128); bytes++ }
  bytes++; return s sprintf("0x%02X, ", v) }
# Runs of equal values over every code point, as a byte stream of
# varint((length - 1) * 2^bits + value), and an index: every 16th run'"'"'s first
# code point and where it starts in the stream, packed first * span + offset.
function run(first, last, value, bits) {
  if (runs % 16 == 0) index_lines = index_lines sprintf("    0x%08Xu,  // %04X\n", first * span + bytes, first)
  stream_lines = stream_lines "    " varint((last - first) * 2 ^ bits + value) " // " sprintf("%04X..%04X %s\n", first, last, value_name[value])
  runs++ }
function sort_numbers(a, n,  i, j, v) {
  for (i = 2; i <= n; i++) { v = a[i]; for (j = i - 1; j >= 1 && a[j] > v; j--) a[j + 1] = a[j]; a[j + 1] = v } }
# decl = { items[1], ..., items[n] }; with per_line items to a line.
function print_array(decl, items, n, per_line,  i) {
  printf "%s = {", decl
  for (i = 1; i <= n; i++) printf "%s%s,", (i % per_line == 1 || per_line == 1) ? "\n    " : " ", items[i]
  print "\n};" }
function print_runs(name) {
  if (bytes >= span) die("the " name " stream is too long for its index")
  printf "const uint8_t k%sRuns[] = {\n%s};\n", name, stream_lines
  printf "const uint32_t k%sIndex[] = {\n%s};\n", name, index_lines }
'

# Bidi classes in the order of enum BidiClass (strings/bidi.h).
bidi_order="L R AL EN ES ET AN CS NSM BN B S WS ON LRE LRO RLE RLO PDF LRI RLI FSI PDI"

bidi_tables() {
  awk -F';' -v order="$bidi_order" -v span="$span" "$common"'
    BEGIN { n = split(order, names, " "); for (i = 1; i <= n; i++) { number[names[i]] = i - 1; value_name[i - 1] = names[i] } }
    FILENAME ~ /PropertyValueAliases/ && $1 ~ /^bc *$/ { short_name[trim($3)] = trim($2) }
    FILENAME ~ /DerivedBidiClass/ && /^# @missing:/ {
      sub(/^# @missing: */, ""); missing_first[++missings] = range_first($1); missing_last[missings] = range_last($1)
      missing_class[missings] = trim($2) }
    FILENAME ~ /(DerivedCoreProperties|PropList)/ && /^[0-9A-F]/ {
      split($2, p, "#"); p[1] = trim(p[1])
      if (p[1] == "Default_Ignorable_Code_Point" || p[1] == "Noncharacter_Code_Point") {
        ignorable_first[++ignorables] = range_first($1); ignorable_last[ignorables] = range_last($1) } }
    FILENAME ~ /UnicodeData/ {
      cp = hex($1)
      if ($2 ~ /First>$/) { first = cp; next }
      if ($2 !~ /Last>$/) first = cp
      assigned_first[++assigneds] = first; assigned_last[assigneds] = cp; assigned_class[assigneds] = $5
      # Canonical equivalents of brackets: a singleton decomposition.
      if ($6 ~ /^[0-9A-F]+$/) singleton[cp] = hex($6) }
    FILENAME ~ /BidiMirroring/ && /^[0-9A-F]/ { split($2, p, "#"); mirror[hex($1)] = hex(trim(p[1])) }
    FILENAME ~ /BidiBrackets/ && /^[0-9A-F]/ {
      split($3, p, "#"); bracket_pair[hex($1)] = hex(trim($2)); bracket_type[hex($1)] = trim(p[1]) }
    function paint(first, last, c,  cp) {
      if (!(c in number)) die("unknown bidi class " c)
      for (cp = first; cp <= last; cp++) if (c == "L") delete cls[cp]; else cls[cp] = c }
    END {
      if (failed) exit 1
      if (missings == 0) die("no @missing lines in DerivedBidiClass.txt")
      # Defaults first, then unassigned ignorables, then the assigned characters.
      for (i = 1; i <= missings; i++) {
        c = short_name[missing_class[i]]; if (c == "") die("unknown class name " missing_class[i])
        paint(missing_first[i], missing_last[i], c) }
      for (i = 1; i <= ignorables; i++) paint(ignorable_first[i], ignorable_last[i], "BN")
      for (i = 1; i <= assigneds; i++) paint(assigned_first[i], assigned_last[i], assigned_class[i])

      printf "// Generated by scripts/gen-bidi-tables.sh from the Unicode %s data; do not edit.\n", version
      print "// Bidi class of U+0000..U+007F, two a byte, the even code point in the low half."
      printf "const uint8_t kAsciiBidiClasses[] = {"
      for (cp = 0; cp < 128; cp += 2) {
        lo = (cp in cls) ? number[cls[cp]] : 0; hi = ((cp + 1) in cls) ? number[cls[cp + 1]] : 0
        if (lo > 15 || hi > 15) die("an ASCII class does not fit in four bits")
        printf "%s0x%02X,", (cp % 32 == 0) ? "\n    " : " ", hi * 16 + lo }
      print "\n};"
      print "// Bidi class runs from U+0080 (the table above has the ASCII ones): value ="
      print "// class, 5 bits."
      first = 128; value = (128 in cls) ? number[cls[128]] : 0
      for (cp = 129; cp <= 1114112; cp++) {
        v = (cp < 1114112 && (cp in cls)) ? number[cls[cp]] : 0
        if (cp == 1114112 || v != value) { run(first, cp - 1, value, 5); first = cp; value = v } }
      print_runs("BidiClass")

      n = 0; for (cp in mirror) { if (mirror[mirror[cp]] != cp) die("mirroring is not symmetric at " cp); sorted[++n] = cp + 0 }
      sort_numbers(sorted, n)
      for (i = 1; i <= n; ) {
        c = sorted[i]; k = 0
        while (i + 2 * k + 1 <= n && sorted[i + 2 * k] == c + 2 * k && sorted[i + 2 * k + 1] == c + 2 * k + 1 && mirror[c + 2 * k] == c + 2 * k + 1 && k < 127) k++
        if (c > 65535) die("a mirrored character beyond the BMP")
        entries++
        if (k > 0) { starts[entries] = sprintf("0x%04X", c); kinds[entries] = sprintf("0x%02X", 128 + k); i += 2 * k }
        else {
          d = mirror[c] - c
          if (!(d in delta_index)) { delta_index[d] = deltas; delta_list[++deltas] = d }
          if (deltas > 128) die("too many distinct mirror distances")
          starts[entries] = sprintf("0x%04X", c); kinds[entries] = sprintf("0x%02X", delta_index[d]); i++ } }
      print "// Mirrored counterparts, as entries sorted by their first code point: a run"
      print "// of k pairs c <-> c + 1, c + 2 <-> c + 3, ... (kind 128 + k), or one code"
      print "// point that maps to itself plus kMirrorDeltas[kind]."
      print_array("const uint16_t kMirrorStarts[]", starts, entries, 8)
      print_array("const uint8_t kMirrorKinds[]", kinds, entries, 8)
      print_array("const int16_t kMirrorDeltas[]", delta_list, deltas, 8)

      # Opening brackets; each one'"'"'s closing bracket is its mirrored counterpart.
      n = 0
      for (cp in bracket_type) {
        if (mirror[cp] != bracket_pair[cp] || bracket_pair[bracket_pair[cp]] != cp) die("a bracket pair that is not a mirrored pair: " cp)
        if (cls[cp] != "ON") die("a bracket whose class is not ON: " cp)
        if (bracket_type[cp] == "o") { if (bracket_type[bracket_pair[cp]] != "c") die("an opening bracket without a closing one: " cp); opener[++n] = cp + 0 } }
      sort_numbers(opener, n)
      for (i = 1; i <= n; i++) opener[i] = sprintf("0x%04X", opener[i])
      print "// Opening brackets, sorted."
      print_array("const uint16_t kOpeningBrackets[]", opener, n, 8)
      n = 0; for (cp in bracket_type) if (cp in singleton) equivalent[++n] = cp + 0
      sort_numbers(equivalent, n)
      for (i = n; i >= 1; i--) { equivalent[2 * i] = sprintf("0x%04X", singleton[equivalent[i]]); equivalent[2 * i - 1] = sprintf("0x%04X", equivalent[i]) }
      n *= 2
      print "// Brackets that are canonically equivalent to another: the bracket, then its equivalent."
      print_array("const uint16_t kBracketEquivalents[]", equivalent, n, 2)
    }' version="$version" "$dir/PropertyValueAliases.txt" "$dir/extracted/DerivedBidiClass.txt" \
       "$dir/DerivedCoreProperties.txt" "$dir/PropList.txt" "$dir/UnicodeData.txt" "$dir/BidiMirroring.txt" \
       "$dir/BidiBrackets.txt"
}

# Joining types in the order of enum JoiningType (strings/joining.h).
joining_order="U T R L D C"

joining_tables() {
  awk -F';' -v order="$joining_order" -v span="$span" "$common"'
    BEGIN { n = split(order, names, " "); for (i = 1; i <= n; i++) { number[names[i]] = i - 1; value_name[i - 1] = names[i] } }
    FILENAME ~ /ArabicShaping/ && /^[0-9A-F]/ { listed[hex($1)] = trim($3); group[hex($1)] = trim($4) }
    FILENAME ~ /UnicodeData/ {
      cp = hex($1)
      if ($2 ~ /First>$/) { first = cp; next }
      if ($2 !~ /Last>$/) first = cp
      if ($3 == "Mn" || $3 == "Me" || $3 == "Cf") for (c = first; c <= cp; c++) transparent[c] = 1
      if ($5 == "NSM") for (c = first; c <= cp; c++) nsm[c] = 1
      # Presentation forms: isolated, final, initial, medial, in that order.
      f = 0
      if ($6 ~ /^<isolated> /) f = 1; else if ($6 ~ /^<final> /) f = 2; else if ($6 ~ /^<initial> /) f = 3; else if ($6 ~ /^<medial> /) f = 4
      if (f) {
        k = split($6, d, " ")
        if (k == 2) { base = hex(d[2]); if ((base, f) in form) die("two presentation forms for one letter"); form[base, f] = cp; has_form[base] = 1 }
        if (k == 3 && d[2] == "0644" && group[hex(d[3])] == "ALEF" && (f == 1 || f == 2)) ligature[hex(d[3]), f] = cp } }
    function forms_entry(start, b, mask) {
      if (b < 1536 || b > 1791) die("a letter with presentation forms outside U+0600..U+06FF: " b)
      forms[++groups] = sprintf("{0x%04X, 0x%02X, 0x%X}", start, b - 1536, mask) }
    END {
      if (failed) exit 1
      printf "// Generated by scripts/gen-bidi-tables.sh from the Unicode %s data; do not edit.\n", version
      print "// Joining type runs: value = type, 3 bits. Characters of bidi class NSM are"
      print "// transparent whatever the table says (joining_type() asks the bidi class"
      print "// first), so they extend the run before them."
      first = 0; value = 0
      for (cp = 1; cp <= 1114112; cp++) {
        if (cp < 1114112) {
          t = (cp in listed) ? listed[cp] : (cp in transparent) ? "T" : "U"
          if (!(t in number)) die("unknown joining type " t)
          if (cp in nsm) { if (t != "T") die("a mark that is not transparent: " cp); continue }
          v = number[t] }
        if (cp == 1114112 || v != value) { run(first, cp - 1, value, 3); first = cp; value = v } }
      print_runs("Joining")

      print "// Per letter, each group of its forms whose presentation characters follow"
      print "// one another: the first of them, the letter less U+0600, and a mask of"
      print "// the forms in the group (bit 0 isolated .. bit 3 medial). Sorted by letter."
      n = 0; for (b in has_form) letters[++n] = b + 0
      sort_numbers(letters, n)
      for (i = 1; i <= n; i++) {
        b = letters[i]
        mask = 0
        for (f = 1; f <= 4; f++) {
          if (!((b, f) in form)) continue
          if (mask && form[b, f] == next_cp) { mask += 2 ^ (f - 1); next_cp++; continue }
          if (mask) forms_entry(start, b, mask)
          start = form[b, f]; mask = 2 ^ (f - 1); next_cp = start + 1 }
        if (mask) forms_entry(start, b, mask) }
      print_array("const ArabicForms kArabicForms[]", forms, groups, 4)
      n = 0
      for (a = 1536; a < 1792; a++) if ((a, 1) in ligature) {
        if (ligature[a, 2] != ligature[a, 1] + 1) die("a final lam-alef that does not follow the isolated one")
        lam_alef[++n] = sprintf("{0x%02X, 0x%04X}", a - 1536, ligature[a, 1]) }
      print "// Lam followed by each alef that joins it in a ligature: the alef less"
      print "// U+0600, and the isolated ligature; the final one follows it."
      print_array("const LamAlef kLamAlef[]", lam_alef, n, 4)
    }' version="$version" "$dir/ArabicShaping.txt" "$dir/UnicodeData.txt"
}

bidi_tables >"$root/strings/bidi_tables.inc.new"
joining_tables >"$root/strings/joining_tables.inc.new"
mv "$root/strings/bidi_tables.inc.new" "$root/strings/bidi_tables.inc"
mv "$root/strings/joining_tables.inc.new" "$root/strings/joining_tables.inc"
for f in bidi_tables joining_tables; do
  echo "wrote strings/$f.inc: $(grep -o '0x[0-9A-F][0-9A-F]*' "$root/strings/$f.inc" | wc -l) numbers (Unicode $version)"
done
