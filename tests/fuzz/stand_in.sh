#!/bin/sh
# Stands in for the program: misbehaves as FAULT says, so that the fuzzer's
# checks are seen to fail.
cat > /dev/null
case "$FAULT" in
  signal) kill -SEGV $$ ;;
  status) exit 3 ;;
  sanitizer) echo "src/x.cpp:1:2: runtime error: signed integer overflow" >&2 ;;
  hang) sleep 60 ;;
  nan) printf 'Mean            -nan\n' > out.txt; echo "Report written to out.txt" ;;
  words) printf 'information, Infinite\n' > out.txt; echo "Report written to out.txt" ;;
  input) printf 'x' >> scores.dat; printf 'x' >> matrix.dat ;;
  link) rm -f alias.dat ;;
esac
exit 0
