#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix elsewhere (the
# programs find what is installed beside them relative to themselves) and runs
# what a user or a packager would: the best set on the installed table, the
# desktop entry and metainfo checks, --version, numbers typed in two locales.
set -uo pipefail
build=$1 version=$2 gui=$3
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; "$@" >"$work/out" 2>&1 || { fail "$what"; sed 's/^/    /' "$work/out"; }; }

# Nobody's own copy of the table, nor a display, takes part.
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
mkdir -p "$HOME"

cmake --install "$build" --prefix "$work/usr" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
p=$work/usr

# ---- what lands where
programs=(vestor-pick csv2dbf dbf2csv)
[ "$gui" = 1 ] && programs=(Vestor "${programs[@]}")
expected=(libexec/vestor/vestor-solve share/vestor/Data/Subjects.DBF)
for prog in "${programs[@]}"; do expected+=("bin/$prog" "share/man/man1/$prog.1"); done
for c in vestor-pick csv2dbf dbf2csv; do expected+=("share/bash-completion/completions/$c"); done
[ "$gui" = 1 ] && expected+=(share/applications/vestor.desktop share/icons/hicolor/scalable/apps/vestor.svg
  share/icons/hicolor/48x48/apps/vestor.png share/metainfo/io.github.vestor.Vestor.metainfo.xml)
for f in "${expected[@]}"; do [ -e "$p/$f" ] || fail "not installed: $f"; done
[ -e "$p/bin/Data" ] && fail "a table was installed beside the programs in bin/Data"
[ -e "$p/bin/vestor-solve" ] && fail "the solver worker was installed in bin"
for prog in "${programs[@]}"; do
  grep -q -- 'version' "$p/share/man/man1/$prog.1" || fail "the man page of $prog lists no --version"
done

if [ "$gui" = 1 ]; then
  grep -qx "Exec=$p/bin/Vestor" "$p/share/applications/vestor.desktop" ||
    fail "the desktop entry does not start $p/bin/Vestor: $(grep ^Exec "$p/share/applications/vestor.desktop")"
  check "desktop-file-validate" desktop-file-validate "$p/share/applications/vestor.desktop"
  check "appstreamcli validate" appstreamcli validate --no-net "$p/share/metainfo/io.github.vestor.Vestor.metainfo.xml"
fi

# ---- a relocated prefix still finds its solver and its table
mv "$p" "$work/moved"
p=$work/moved
check "the installed vestor-pick --best" "$p/bin/vestor-pick" --best --money 3000 --need Sila=10 --json
grep -q '"mode"' "$work/out" || fail "vestor-pick --best gave no best set: $(cat "$work/out")"
check "the installed vestor-pick" "$p/bin/vestor-pick" --money 3000 --need Sila=10

# ---- --version everywhere, help without a display
for prog in "${programs[@]}" ../libexec/vestor/vestor-solve; do
  out=$("$p/bin/$prog" --version 2>&1) status=$?
  [ $status = 0 ] && [[ $out == *" $version" ]] || fail "$prog --version said '$out' (status $status)"
done
out=$("$p/libexec/vestor/vestor-solve" --help 2>&1)
[ "$(wc -l <<<"$out")" = 1 ] && [[ $out == *"internal worker"* ]] || fail "vestor-solve --help said '$out'"
if [ "$gui" = 1 ]; then
  out=$("$p/bin/Vestor" --help 2>&1) || fail "Vestor --help without a display failed: $out"
  [[ $out == Usage:* ]] || fail "Vestor --help said '$out'"
  out=$("$p/bin/Vestor" 2>&1) status=$?
  [ $status = 1 ] && [ "$(wc -l <<<"$out")" = 1 ] && [[ $out == Vestor:* ]] ||
    fail "Vestor without a display: status $status, '$out'"
fi

# ---- runtime errors start with the program's name
for run in "vestor-pick --data $work/none" "csv2dbf $work/none.csv $work/out.DBF" "dbf2csv $work/none.DBF"; do
  prog=${run%% *}
  out=$($p/bin/$run 2>&1 >/dev/null)
  [[ $out == "$prog: "* ]] || fail "$prog's error does not start with its name: '$out'"
done

# ---- decimals with a point or a comma, whatever the locale
locales=$work/locales
mkdir -p "$locales"
localedef -i ru_RU -f UTF-8 "$locales/ru_RU.UTF-8" 2>/dev/null || fail "cannot generate ru_RU.UTF-8"
for loc in ru_RU.UTF-8 C.UTF-8; do
  for money in 1.5 1,5 1500.25 1500,25; do
    out=$(LOCPATH=$locales LC_ALL=$loc "$p/bin/vestor-pick" --money "$money" --json 2>&1) ||
      fail "--money $money under $loc: $out"
  done
  out=$(LOCPATH=$locales LC_ALL=$loc "$p/bin/vestor-pick" --best --money 100 --need Sila=5 --time-limit 2,5 --json 2>&1) ||
    fail "--time-limit 2,5 under $loc: $out"
done

# ---- bash completion offers the races and stats the program knows
# shellcheck disable=SC1091
source "$p/share/bash-completion/completions/vestor-pick"
complete_words() { COMP_WORDS=("$p/bin/vestor-pick" "$@"); COMP_CWORD=$(($# )); COMPREPLY=(); _vestor_pick; }
complete_words --race ""
printf '%s\n' "${COMPREPLY[@]}" | grep -qx 'Эльф' || fail "completion of --race: ${COMPREPLY[*]}"
complete_words --need Ob_
printf '%s\n' "${COMPREPLY[@]}" | grep -qx 'Ob_Kr_p=' || fail "completion of --need Ob_: ${COMPREPLY[*]}"

[ $failures = 0 ] && echo "install: all checks passed"
exit $((failures > 0))
