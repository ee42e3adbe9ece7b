# Shared by the tool's *_test.sh scripts: a scratch folder, counters and two
# checks. Source it after setting `tool` to the orvocrypto binary; end with
# `finish`.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# expect NAME STATUS EXPECTED_STDOUT -- COMMAND...: runs the tool with the
# standard input of $input (or none), compares status and standard output
# ("*" accepts any output).
input=
expect() {
  local name=$1 status=$2 want=$3
  shift 4
  local got code
  if [ -n "$input" ]; then
    got=$(printf '%s' "$input" | "$tool" "$@" 2>"$work/stderr"); code=$?
  else
    got=$("$tool" "$@" </dev/null 2>"$work/stderr"); code=$?
  fi
  if [ "$code" -ne "$status" ] || { [ "$want" != "*" ] && [ "$got" != "$want" ]; }; then
    echo "FAIL $name: status $code (want $status), output '$got' (want '$want'); stderr: $(cat "$work/stderr")"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
}

check() {  # check NAME CONDITION...
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else echo "FAIL $name"; failed=$((failed + 1)); fi
}

finish() {  # the closing line that counts, and the exit status
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
