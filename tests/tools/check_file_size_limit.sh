#!/bin/sh
# velqor-cli writing its output into a file under a file-size limit (ulimit -f, 512-byte
# blocks here): the write fails with EFBIG, and the command says so on standard error and
# exits 1, instead of being killed by SIGXFSZ half-way through a line.
# Usage: check_file_size_limit.sh VELQOR_CLI COMMAND [ARGS...]
cli=$1
shift
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
i=0
while [ $i -lt 400 ]; do
  printf 'FC 03 01 09 00\n'
  i=$((i + 1))
done >"$dir/capture.txt"

(ulimit -f 1 && exec "$cli" "$@" <"$dir/capture.txt" >"$dir/out" 2>"$dir/err")
status=$?
cat "$dir/err"
if ! grep -q "cannot write the output: File too large" "$dir/err"; then
  echo "FAIL: no report of the failed write (exit status $status)"
  exit 1
fi
if [ "$status" -ne 1 ]; then
  echo "FAIL: exit status $status, expected 1"
  exit 1
fi
echo "OK: $(wc -c <"$dir/out") bytes written, then the failure reported"
