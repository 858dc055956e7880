# SPDX-License-Identifier: MIT
# awk -v package=NAME -v maintainer=TEXT -v output=FILE -f changelog.awk NEWS
# NEWS, one entry a release headed "NAME VERSION (YYYY-MM-DD HH:MM UTC)" with
# its lines indented below, as a Debian changelog of revision 1 of each.
$1 == package && $0 ~ /^[^ ]+ [^ ]+ \([0-9-]+ [0-9:]+ UTC\)$/ {
	date = "date -u -R -d '" substr($3, 2) " " $4 " UTC'"
	date | getline stamp
	close(date)
	printf "%s%s (%s-1) unstable; urgency=medium\n\n", trailer, package, $2 >output
	trailer = "\n -- " maintainer "  " stamp "\n\n"
}
/^  / { print >output }
END { printf "%s", substr(trailer, 1, length(trailer) - 1) >output }
