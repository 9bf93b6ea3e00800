#!/bin/bash
# Runs a Windows program under the test run's Wine environment (see start.sh).
# The environment file is found from ELVARA_BUILD or next to the running tests.
set -euo pipefail
env_file=${ELVARA_BUILD:+$ELVARA_BUILD/test-env.sh}
if [[ -z $env_file || ! -f $env_file ]]; then
    dir=$PWD
    while [[ $dir != / && ! -f $dir/test-env.sh ]]; do dir=$(dirname "$dir"); done
    env_file=$dir/test-env.sh
fi
[[ -f $env_file ]] || { echo "wine-run: no test environment; run tests/harness/start.sh BUILD_DIR first" >&2; exit 2; }
source "$env_file"
exec "$(command -v wine64 || echo /usr/lib/wine/wine64)" "$@"
