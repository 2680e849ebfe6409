# The Windows installer under Wine: a silent install (/S) of every packaged
# file, the Start-menu entries, the uninstall entry with the version, the
# installed programs' --version; then a silent uninstall, after which
# nothing of it is left.
# Sourced by scripts/test-windows inside its Wine session, after
# scripts/package-windows has built the installer; output goes to files.
installer_fail() {
  echo "test-windows: installer: $*" >&2
  exit 1
}
installer_version=$(sed -n 's/^project(tavik VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
setup=build/packages/tavik-$installer_version-win64-setup.exe
installed="$WINEPREFIX/drive_c/Program Files/Tavik"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tavik"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavik'
stage=build/windows/package/tavik-$installer_version-win64  # what the zip holds
log=$run/installer.log

[ -f "$setup" ] && [ -d "$stage" ] || installer_fail "$setup is missing (scripts/package-windows makes it)"
timeout 120 wine "$setup" /S </dev/null >"$log" 2>&1 || installer_fail "the silent install failed: $(cat "$log")"
timeout 60 wineserver -w || true
# Every file of the package, and the uninstaller.
while IFS= read -r file; do
  cmp -s "$stage/$file" "$installed/$file" || installer_fail "not installed as packaged: $file"
done < <(cd "$stage" && find . -type f | sed 's|^\./||')
[ -f "$installed/uninstall.exe" ] || installer_fail "no uninstall.exe"
for entry in "Tavik V1 Basic" "Tavik command prompt" "Uninstall Tavik"; do
  [ -f "$menu/$entry.lnk" ] || installer_fail "no Start-menu entry $entry"
done
timeout 60 wine reg query "$uninstall_key" /v DisplayVersion </dev/null >"$log" 2>&1 || true
grep -q "$installer_version" "$log" || installer_fail "no uninstall entry with version $installer_version: $(cat "$log")"
# The programs with a --version, run where the installer put them.
for program in tavik.exe tavik-v1-basic.exe; do
  [ -f "$stage/$program" ] || continue
  (cd "$installed" && timeout 60 wine "$program" --version </dev/null >"$log" 2>&1) ||
    installer_fail "the installed $program --version failed: $(cat "$log")"
  grep -q "$installer_version" "$log" || installer_fail "$program --version printed: $(cat "$log")"
  echo "test-windows: installer: $program --version: $(tr -d '\r' <"$log" | head -n 1)"
done

timeout 120 wine "$installed/uninstall.exe" /S </dev/null >"$log" 2>&1 || installer_fail "the silent uninstall failed"
timeout 120 wineserver -w || true  # the uninstaller runs on from a copy of itself
[ ! -e "$installed" ] || installer_fail "left after uninstalling: $(cd "$installed" && find . | tr '\n' ' ')"
[ ! -e "$menu" ] || installer_fail "Start-menu entries left after uninstalling: $(ls "$menu")"
if timeout 60 wine reg query "$uninstall_key" </dev/null >"$log" 2>&1; then
  installer_fail "the uninstall entry is left after uninstalling"
fi
echo "test-windows: installer: $(basename "$setup") ($(stat -c %s "$setup") bytes) installs, runs and uninstalls without a trace"
