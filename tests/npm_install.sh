# What tests/grammar/run and tests/lsp/run share, sourced by both: node and
# npm, and the packages of a folder's package lock installed into a work
# folder of the build. A check that cannot have them has nothing to run: it
# exits with 77, which ctest counts as skipped.
#
#   npm_needed CHECK                 CHECK names the script in messages
#   npm_install CHECK FOLDER WORK    FOLDER's package.json and lock into WORK

npm_needed() {
  if ! command -v node > /dev/null || ! command -v npm > /dev/null; then
    echo "$1: node and npm are needed: skipped"
    exit 77
  fi
}

# Installs again only when the lock changes (WORK.installed says which is
# in); offline once it is in. No install scripts: none of these needs one.
npm_install() {
  local check=$1 folder=$2 work=$3
  mkdir -p "$work"
  if ! cat "$folder/package.json" "$folder/package-lock.json" | cmp -s - "$work.installed"; then
    cp "$folder/package.json" "$folder/package-lock.json" "$work/"
    if ! (cd "$work" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error); then
      echo "$check: the npm packages of $folder cannot be installed: skipped"
      exit 77
    fi
    cat "$folder/package.json" "$folder/package-lock.json" > "$work.installed"
  fi
}
