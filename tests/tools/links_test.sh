#!/usr/bin/env bash
# The tool's -o among several users: a symbolic link is followed only where
# the kernel's protected-symlinks rule would follow it (another user's link
# in a sticky, world-writable folder such as /tmp is refused, so it cannot
# make the tool replace a file its victim may write), and a replaced file
# keeps its owner and group where the writer may keep them, drops the group's
# permission bits where it cannot, and never keeps set-user-ID, set-group-ID
# or sticky bits. The users are bare numeric ids run with setpriv (nothing
# is added to the system's user list), so the test needs root; elsewhere it
# is skipped (exit 77).
# Usage: links_test.sh PATH_TO_ORVOCRYPTO
set -u
tool=$1
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
  echo "skipped: needs root and setpriv (util-linux) to act as several users"
  exit 77
fi
. "$(dirname "$0")/tool_test_lib.sh"

# Two users and a group neither belongs to by default; ids far from the
# system's own.
root=0 alice=47101 bob=47102 staff=47150
as() {  # as UID [GROUP,...] -- COMMAND...: runs COMMAND as UID (primary group = UID)
  local uid=$1 groups=$2
  shift 3
  if [ -n "$groups" ]; then
    setpriv --reuid="$uid" --regid="$uid" --groups="$groups" "$@"
  else
    setpriv --reuid="$uid" --regid="$uid" --clear-groups "$@"
  fi
}
owner_of() { stat -c '%u:%g %a' "$1"; }

umask 022
chmod 755 "$work"
# A copy the other users can run wherever the build lies (a checkout under
# /root is closed to them).
cp "$tool" "$work/orvocrypto"
chmod 755 "$work/orvocrypto"
tool=$work/orvocrypto
printf 'data\n' >"$work/data"
chmod 644 "$work/data"
crc=$("$tool" crc32 "$work/data")

# Run as bob: expect NAME STATUS -- COMMAND... (standard error kept).
bob_runs() {
  local name=$1 status=$2
  shift 3
  as "$bob" "" -- "$tool" "$@" 2>"$work/stderr" >/dev/null
  local code=$?
  check "$name (exit $code, want $status; $(cat "$work/stderr"))" [ "$code" -eq "$status" ]
}

# Bob's own files, in a folder only he may write to.
mkdir "$work/bob"
chown "$bob:$bob" "$work/bob"
printf 'precious\n' >"$work/bob/precious"
chown "$bob:$bob" "$work/bob/precious"

# A shared sticky folder owned by root (as /tmp), and one owned by alice.
mkdir "$work/tmp" "$work/alice-tmp" "$work/alice-open"
chmod 1777 "$work/tmp" "$work/alice-tmp"
chown "$alice:$alice" "$work/alice-tmp" "$work/alice-open"
chmod 755 "$work/alice-open"

# Links and who follows them: (folder, link owner, followed?).
while IFS='|' read -r name folder owner followed; do
  link="$work/$folder/out-$owner"
  printf 'precious\n' >"$work/bob/precious"
  chown "$bob:$bob" "$work/bob/precious"
  as "${!owner}" "" -- ln -s "$work/bob/precious" "$link"
  if [ "$followed" = yes ]; then
    bob_runs "$name: followed" 0 -- crc32 "$work/data" -o "$link"
    check "$name: the file it names holds the output" [ "$(cat "$work/bob/precious")" = "$crc" ]
  else
    bob_runs "$name: refused" 1 -- crc32 "$work/data" -o "$link"
    check "$name: the message says why" grep -q "^orvocrypto crc32: refusing to follow the symbolic link '$link'" "$work/stderr"
    check "$name: the file it names is untouched" [ "$(cat "$work/bob/precious")" = precious ]
  fi
  check "$name: the link is still a link" [ -L "$link" ]
  check "$name: no temporary left" [ -z "$(find "$work" -name '.*.orvo-*' -print -quit)" ]
done <<'TABLE'
another user's link in a sticky folder|tmp|alice|no
bob's own link in a sticky folder|tmp|bob|yes
the sticky folder owner's link|alice-tmp|alice|yes
another user's link in a folder that is not sticky|alice-open|alice|yes
TABLE

# A dangling link of another user must not create the file it names either,
# nor may a link to a link get through.
as "$alice" "" -- ln -s "$work/bob/new-file" "$work/tmp/dangling"
bob_runs "another user's dangling link" 1 -- crc32 "$work/data" -o "$work/tmp/dangling"
check "the file it names was not created" [ ! -e "$work/bob/new-file" ]
printf 'precious\n' >"$work/bob/precious"
as "$bob" "" -- ln -s "$work/tmp/out-alice" "$work/tmp/chain"
bob_runs "bob's link to alice's link" 1 -- crc32 "$work/data" -o "$work/tmp/chain"
check "the file at the end of the chain is untouched" [ "$(cat "$work/bob/precious")" = precious ]
# Root is no exception: alice's link in root's sticky folder is refused to root too.
"$tool" crc32 "$work/data" -o "$work/tmp/out-alice" 2>"$work/stderr"
check "root refuses alice's link in a sticky folder" [ $? -eq 1 ]

# Replacing a file: owner, group and permissions (as the replacing user,
# file's owner:group and mode, the result).
mkdir "$work/shared"
chmod 777 "$work/shared"
while IFS='|' read -r name user groups file_owner mode want; do
  target="$work/shared/target"
  rm -f "$target"
  printf 'old\n' >"$target"
  chown "$file_owner" "$target"
  chmod "$mode" "$target"
  uid=${!user}
  as "$uid" "$groups" -- "$tool" crc32 "$work/data" -o "$target" 2>"$work/stderr"
  check "$name: the run succeeds ($(cat "$work/stderr"))" [ $? -eq 0 ]
  check "$name: the file holds the output" [ "$(cat "$target")" = "$crc" ]
  want=${want//alice/$alice}
  want=${want//bob/$bob}
  want=${want//staff/$staff}
  check "$name: owner, group and mode are $want, not $(owner_of "$target")" [ "$(owner_of "$target")" = "$want" ]
done <<TABLE
root keeps another user's owner and group|root||$alice:$staff|640|alice:staff 640
bob keeps the group he belongs to|bob|$staff|$alice:$staff|664|bob:staff 664
bob cannot keep a group he is not in: the group's bits go|bob||$alice:$staff|664|bob:bob 604
bob's own 0640 file of group staff, bob no longer in staff|bob||$bob:$staff|640|bob:bob 600
set-user-ID and set-group-ID bits do not survive|root||$alice:$staff|6755|alice:staff 755
nor a sticky bit|root||$alice:$staff|1644|alice:staff 644
set-group-ID dropped with the group's bits|bob||$alice:$staff|2775|bob:bob 705
TABLE

finish
