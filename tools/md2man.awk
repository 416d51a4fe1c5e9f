# awk -v version=X.Y.Z -v out=FILE -f tools/md2man.awk docs/PAGE.md
# A manual page in man(7) roff, tables for tbl(1), from the markdown the
# kit's pages are written in: a "# name(section)" title, "## SECTION"
# headings, paragraphs, "- " bullets (a tagged item where the words before
# the first ": " end in `code`, as an option's or a file's do), code blocks
# indented by four spaces, pipe tables, `code` and [text](link) inline.
# Anything else is text. Written for any POSIX awk (mawk, gawk).

BEGIN {
  block = ""       # what is being collected: para, item, code, table
  text = ""        # its lines, joined by "\n"
  rows = 0
  section = ""
  blank = 1        # the line before was blank (or there was none)
  if (out == "") out = "/dev/stdout"
  kLineLength = 71  # a terminal's 78, less the indent of a section's text
  kShortCell = 14   # a column no wider never wraps
}

# The roff escapes of plain text: backslashes printed as themselves.
function escape(s) {
  gsub(/\\/, "\\(rs", s)
  return s
}

# Code, set in bold: minus signs that stay ASCII (a command can be copied
# from the page), a possible break after each backslash of a long path.
function code(s) {
  gsub(/\\/, "\\(rs\\:", s)
  gsub(/-/, "\\-", s)
  return "\\fB" s "\\fR"
}

# [text](link) becomes its text; the page it links to is the text's job.
function unlink(s,    inner, cut) {
  while (match(s, /\[[^]]*\]\([^)]*\)/)) {
    inner = substr(s, RSTART + 1, RLENGTH - 2)
    cut = index(inner, "](")
    s = substr(s, 1, RSTART - 1) substr(inner, 1, cut - 1) substr(s, RSTART + RLENGTH)
  }
  return s
}

# One line of text with its `code` spans.
function inline(s,    result, tick) {
  s = unlink(s)
  result = ""
  while ((tick = index(s, "`")) > 0) {
    result = result escape(substr(s, 1, tick - 1))
    s = substr(s, tick + 1)
    tick = index(s, "`")
    if (tick == 0) {
      s = "`" s
      break
    }
    result = result code(substr(s, 1, tick - 1))
    s = substr(s, tick + 1)
  }
  return result escape(s)
}

# A line roff takes as text even where it begins with a control character.
function line(s) {
  if (s ~ /^[.']/) s = "\\&" s
  print s > out
}

# Each line of a block's text, converted.
function lines(s,    n, i, part) {
  n = split(s, part, "\n")
  for (i = 1; i <= n; i++) line(inline(part[i]))
}

function trim(s) {
  sub(/^[ \t]+/, "", s)
  sub(/[ \t]+$/, "", s)
  return s
}

# The cells of a table row, trimmed, into `cells`; their number.
function split_row(s, cells,    n, i) {
  sub(/^[ \t]*\|/, "", s)
  sub(/\|[ \t]*$/, "", s)
  n = split(s, cells, "|")
  for (i = 1; i <= n; i++) cells[i] = trim(cells[i])
  return n
}

# A table for tbl: short columns as wide as their longest cell, the rest
# sharing what is left of the line, by their longest cell (never narrower
# than their longest word), as text blocks that wrap.
function emit_table(    r, c, n, k, words, cells, widest, longest, wraps, width, left, \
                        wrapped, format, cell) {
  n = split_row(row[1], cells)
  for (c = 1; c <= n; c++) widest[c] = longest[c] = 0
  for (r = 1; r <= rows; r++) {
    split_row(row[r], cells)
    for (c = 1; c <= n; c++) {
      if (length(cells[c]) > widest[c]) widest[c] = length(cells[c])
      k = split(cells[c], words, " ")
      for (; k > 0; k--) if (length(words[k]) > longest[c]) longest[c] = length(words[k])
    }
  }
  left = kLineLength - 3 * n - 1
  wrapped = 0
  for (c = 1; c <= n; c++) {
    wraps[c] = widest[c] > kShortCell
    if (wraps[c]) wrapped += widest[c]
    else left -= widest[c]
  }
  format = ""
  for (c = 1; c <= n; c++) {
    width = int(left * widest[c] / (wrapped > 0 ? wrapped : 1))
    if (width < longest[c]) width = longest[c]
    format = format (c > 1 ? " " : "") (wraps[c] ? "lw(" width "n)" : "l")
  }
  print ".PP" > out
  print ".TS" > out
  print "allbox;" > out
  print format > out
  print format "." > out
  for (r = 1; r <= rows; r++) {
    if (r == 2 && row[r] ~ /^[ \t|:-]+$/) continue
    split_row(row[r], cells)
    for (c = 1; c <= n; c++) {
      cell = inline(cells[c])
      if (r == 1) cell = "\\fB" cell "\\fR"
      if (wraps[c]) {
        printf "%sT{\n", (c > 1 ? "\t" : "") > out
        line(cell)
        printf "T}" > out
      } else {
        printf "%s%s", (c > 1 ? "\t" : ""), (cell ~ /^[.']/ ? "\\&" cell : cell) > out
      }
    }
    print "" > out
  }
  print ".TE" > out
  # The bottom rule takes the line a paragraph's space would have.
  print ".sp" > out
}

# A bullet whose words before the first ": " end in `code` is a tagged
# item, the tag those words: an option, a file.
function emit_item(s,    colon, tag) {
  colon = index(s, ": ")
  tag = substr(s, 1, colon - 1)
  if (colon > 0 && tag ~ /`/ && tag ~ /`$/) {
    print ".TP" > out
    line(inline(tag))
    s = substr(s, colon + 2)
  } else {
    print ".IP \\(bu 2" > out
  }
  lines(s)
}

function emit_code(s,    n, i, part) {
  sub(/\n+$/, "", s)
  print ".PP" > out
  print ".RS 4" > out
  print ".nf" > out
  n = split(s, part, "\n")
  for (i = 1; i <= n; i++) {
    part[i] = escape(part[i])
    gsub(/-/, "\\-", part[i])
    line(part[i] == "" ? "\\&" : part[i])
  }
  print ".fi" > out
  print ".RE" > out
}

function flush() {
  if (block == "para") {
    print ".PP" > out
    if (section == "NAME") {
      text = inline(text)
      sub(/ - /, " \\- ", text)
      line(text)
    } else {
      lines(text)
    }
  } else if (block == "item") {
    emit_item(text)
  } else if (block == "code") {
    emit_code(text)
  } else if (block == "table") {
    emit_table()
  }
  block = ""
  text = ""
  rows = 0
}

function add(kind, s) {
  if (block != kind) {
    flush()
    block = kind
    text = s
  } else {
    text = text "\n" s
  }
}

{ sub(/\r$/, ""); sub(/[ \t]+$/, "") }

/^# / {
  flush()
  title = substr($0, 3)
  page = title
  sub(/\(.*/, "", page)
  number = title
  sub(/^[^(]*\(/, "", number)
  sub(/\).*/, "", number)
  print "'\\\" t" > out
  print ".\\\" Made from the kit's markdown page by tools/md2man.awk: edit that page." > out
  printf ".TH \"%s\" \"%s\" \"\" \"Norvelle adapter kit %s\" \"Norvelle adapter kit\"\n",
    toupper(page), number, version > out
  # Neither hyphenated nor stretched: names and commands stay whole.
  print ".nh" > out
  print ".ad l" > out
  blank = 1
  next
}

/^## / {
  flush()
  section = substr($0, 4)
  printf ".SH \"%s\"\n", section > out
  blank = 1
  next
}

/^$/ {
  if (block == "code") {
    text = text "\n"
  } else {
    flush()
  }
  blank = 1
  next
}

/^    / && (blank || block == "code") {
  if (block != "code") flush()
  add("code", substr($0, 5))
  blank = 0
  next
}

block == "code" { flush() }

/^[ \t]*\|/ {
  add("table", "")
  row[++rows] = $0
  blank = 0
  next
}

/^- / {
  flush()
  add("item", substr($0, 3))
  blank = 0
  next
}

{
  if (block == "item" || block == "para") {
    text = text "\n" trim($0)
  } else {
    add("para", trim($0))
  }
  blank = 0
}

END { flush() }
