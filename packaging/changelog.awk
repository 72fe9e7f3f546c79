# The dated sections of CHANGELOG.md ("## VERSION — YYYY-MM-DD", then
# paragraphs and "- " items; "## Unreleased" is left out), in two forms:
#   awk -f changelog.awk CHANGELOG.md metainfo.xml.in
#       the metainfo template with the line holding "@RELEASES@" replaced by
#       one <release> per section;
#   awk -v package=NAME -v maintainer="NAME <MAIL>" -f changelog.awk CHANGELOG.md
#       the changelog in Debian's format.
function esc(s) {
    gsub(/&/, "\\&amp;", s); gsub(/</, "\\&lt;", s); gsub(/>/, "\\&gt;", s)
    return s
}
function add() { # the paragraph or item gathered so far
    if (text != "") { n[r]++; blk[r, n[r]] = text; isitem[r, n[r]] = item }
    text = ""
}
function wrap(s, first, rest,    words, k, line, out) { # lines of at most 78 columns
    split(s, words, " "); line = first
    for (k = 1; k in words; k++) {
        if (line != first && line != rest && length(line) + 1 + length(words[k]) > 78) {
            out = out line "\n"; line = rest
        }
        line = line (line == first || line == rest ? "" : " ") words[k]
    }
    return out line "\n"
}
function weekday(y, m, d,    t) { # 1 Monday .. 7 Sunday
    split("0 3 2 5 0 3 5 1 4 6 2 4", t, " ")
    if (m < 3) y--
    return (y + int(y / 4) - int(y / 100) + int(y / 400) + t[m] + d + 6) % 7 + 1
}
function debian(    i, k, y, m, d, ymd, days, months) {
    split("Mon Tue Wed Thu Fri Sat Sun", days, " ")
    split("Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec", months, " ")
    for (i = 1; i <= r; i++) {
        printf "%s (%s) unstable; urgency=medium\n\n", package, ver[i]
        for (k = 1; k <= n[i]; k++)
            printf "%s", wrap(blk[i, k], "  * ", "    ")
        split(date[i], ymd, "-"); y = ymd[1] + 0; m = ymd[2] + 0; d = ymd[3] + 0
        printf "\n -- %s  %s, %02d %s %d 00:00:00 +0000\n", maintainer, days[weekday(y, m, d)],
               d, months[m], y
        if (i < r) printf "\n"
    }
}
function releases(    i, k, list) {
    add()
    for (i = 1; i <= r; i++) {
        printf "    <release version=\"%s\" date=\"%s\">\n      <description>\n", ver[i], date[i]
        list = 0
        for (k = 1; k <= n[i]; k++) {
            if (isitem[i, k] && !list) { print "        <ul>"; list = 1 }
            if (!isitem[i, k] && list) { print "        </ul>"; list = 0 }
            if (isitem[i, k]) printf "          <li>%s</li>\n", esc(blk[i, k])
            else printf "        <p>%s</p>\n", esc(blk[i, k])
        }
        if (list) print "        </ul>"
        print "      </description>\n    </release>"
    }
}
FNR == NR {
    if (/^## /) {
        add(); open = 0
        if ($NF ~ /^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$/) {
            r++; ver[r] = $2; date[r] = $NF; open = 1
        }
        next
    }
    if (!open) next
    gsub(/`/, "")
    if (/^[-*] /) { add(); item = 1; text = substr($0, 3); next }
    if (/^[ \t]*$/) { add(); item = 0; next }
    sub(/^[ \t]+/, "")
    text = text (text == "" ? "" : " ") $0
    next
}
/@RELEASES@/ { releases(); next }
{ print }
END {
    add()
    if (package != "") debian()
}
