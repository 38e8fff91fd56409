# Sourced: sets up the sanitizer runtime for the sanitized build (build-asan).
#   . tools/sanitizers/env.sh <log dir>
# Every report goes to a file <log dir>/report.<pid> as well as ending the
# process with a non-zero code, so reports of child processes (the updater in
# tst_appexit, the device simulator of the lab tests) are counted even where
# the parent does not look at the exit code.
#
# halt_on_error: the first report ends the process (the build also passes
#   -fno-sanitize-recover=all, so UBSan cannot continue either).
# fast_unwind_on_malloc=0: Qt is built without frame pointers, so only the
#   slow unwinder sees the Qt frames that the leak suppressions match.
_kvx_san_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
_kvx_san_log=${1:?log directory}
mkdir -p "$_kvx_san_log"
_kvx_san_log=$(cd "$_kvx_san_log" && pwd)

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:fast_unwind_on_malloc=0:log_path=$_kvx_san_log/report"
export LSAN_OPTIONS="suppressions=$_kvx_san_dir/lsan.supp:print_suppressions=0:fast_unwind_on_malloc=0:log_path=$_kvx_san_log/report"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$_kvx_san_dir/ubsan.supp:log_path=$_kvx_san_log/report"
# Tests that check timings of the event loop allow more time in this build.
export KVX_SANITIZED=1
unset _kvx_san_dir _kvx_san_log
