# The Windows installer under Wine: a silent install (/S), the installed
# programs' --version, the Start-menu entries and the uninstall entry with
# the version; then a silent uninstall, after which nothing of it is left.
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
log=$run/installer.log

[ -f "$setup" ] || installer_fail "$setup is missing (scripts/package-windows makes it)"
timeout 120 wine "$setup" /S </dev/null >"$log" 2>&1 || installer_fail "the silent install failed: $(cat "$log")"
timeout 60 wineserver -w || true
for file in lib_zarn_rs232.dll lib_velk_rs232_psb.dll tavik-v1-basic.exe tavik.exe tavik-psb-demo.exe \
  lib/lib_zarn_rs232.dll.a lib/lib_zarn_rs232.def lib/lib_velk_rs232_psb.dll.a lib/lib_velk_rs232_psb.def \
  include/tavik/zarn_rs232.h include/tavik/velk_rs232_psb.h README.md copyright.txt uninstall.exe; do
  [ -f "$installed/$file" ] || installer_fail "not installed: $file"
done
for entry in "Tavik V1 Basic" "Tavik command prompt" "Uninstall Tavik"; do
  [ -f "$menu/$entry.lnk" ] || installer_fail "no Start-menu entry $entry"
done
timeout 60 wine reg query "$uninstall_key" /v DisplayVersion </dev/null >"$log" 2>&1 || true
grep -q "$installer_version" "$log" || installer_fail "no uninstall entry with version $installer_version: $(cat "$log")"
for program in tavik.exe tavik-v1-basic.exe; do
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
