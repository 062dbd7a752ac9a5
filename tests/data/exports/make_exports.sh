#!/bin/sh
# Writes the data files of the scores table's tests as users' tools write
# them: R's write.csv (a quoted header with an empty first label, quoted row
# names, NA), Python's csv module (a byte-order mark, CRLF line ends, quotes
# only where needed, an empty field for None, a line end inside a field), and
# haven's SPSS and Stata files (user-missing values and ranges, system-missing
# values, variables of text). Needs Debian's r-base-core, r-cran-haven and
# python3; run it in this folder.
set -eu
cd "$(dirname "$0")"

Rscript --vanilla - <<'R'
library(haven)
items <- data.frame(`item one` = c(1, 2, 3, 4, 5, 2),
                    `item, two` = c(2, NA, 4, 3, 5, 1),
                    `say "hi"` = c(3, 3, 2, 5, 1, 4), check.names = FALSE)
write.csv(items, "r_write.csv")

scores <- data.frame(name = c("anna", "bob", "carl", "dora"),
                     q1 = labelled_spss(c(1, 2, 9, 4), na_values = 9),
                     q2 = labelled_spss(c(3, NA, -1, 2), na_range = c(-9, -1)),
                     q3 = c(5, 4, 3, NA))
write_sav(scores, "scores.sav")
write_sav(scores, "scores.zsav", compress = "zsav")
write_dta(data.frame(q1 = c(1, 2, 3), remark = c("fine", "late", "fine")), "remark.dta")
R

python3 - <<'PY'
import csv
rows = [["id", "item one", "item, two", 'say "hi"'],
        ["anna", 1, 2, 3],
        ["bob", 2, None, 3],
        ["carl\njr", 3, 4, 2],
        ["dora", 4, 3, 5]]
with open("python_csv.csv", "w", newline="", encoding="utf-8-sig") as f:
    csv.writer(f).writerows(rows)
PY
