#!/usr/bin/env bash
# kvx-devsim's refusals: what it will not start with, and how it says so.
#   tst_devsim_cli.sh DEVSIM
set -uo pipefail
devsim=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

expect() { # expect NAME STATUS STDERR-TEXT -- ARGS...
    local name=$1 status=$2 text=$3
    shift 4
    "$devsim" "$@" >"$work/out" 2>"$work/err"
    local got=$?
    if [ $got -ne "$status" ] || ! grep -qF -- "$text" "$work/err" || grep -q ready "$work/out"; then
        echo "FAIL: $name: status $got (want $status), stderr: $(cat "$work/err")"
        failures=$((failures + 1))
    else
        echo "ok: $name"
    fi
}

echo '{"units":[{"address":"10.77.0.10","faults":{"ngStrat":true}}]}' > "$work/misspelt.json"
echo '{"units":[{"address":"192.168.1.20"}]}' > "$work/outside.json"
echo '{"foreignAddress":"8.8.8.8","units":[{"address":"10.77.0.10"}]}' > "$work/foreign.json"

expect "no units" 2 "no units" --
expect "address outside the lab" 2 "192.168.1.5 is outside the lab subnet" -- --unit 192.168.1.5
expect "address outside the lab, from a file" 2 "192.168.1.20 is outside the lab subnet" -- --config "$work/outside.json"
expect "foreign sender outside the lab" 2 "foreignAddress is outside the lab subnet" -- --config "$work/foreign.json"
expect "short address" 2 "not an IPv4 address: 10.77.0" -- --unit 10.77.0
expect "misspelt fault" 2 'unknown key "ngStrat"' -- --config "$work/misspelt.json"
expect "missing file" 2 "cannot read" -- --config "$work/none.json"
expect "maker domain not a domain" 2 "not a domain name: a b" -- --unit 10.77.0.10 --maker-domain "a b"
echo '{"makerDomain":"","units":[{"address":"10.77.0.10"}]}' > "$work/domain.json"
expect "empty maker domain in a file" 2 "not a domain name" -- --config "$work/domain.json"
echo '{"units":[{"address":"10.77.0.10","lineEnd":"lf"}]}' > "$work/lineend.json"
expect "unknown line end" 2 'units[0]: "lineEnd" must be "crlf", "cr", "none", "nul" or "crlfnul"' -- --config "$work/lineend.json"
# Where the address does not exist (the suite's own namespace has only lo), it
# cannot bind and never reports ready.
expect "address not present" 1 "cannot listen on 10.77.0.10:54726" -- --unit 10.77.0.10

[ $failures -eq 0 ]
