# The Windows installer under Wine, silent (/S): over an older version
# (whose own files go), every packaged file, the Start-menu entries, the
# uninstall entry with the version and size, the installed programs'
# --version; with the console running the installer and the uninstaller
# fail (exit 2) and change nothing; over a newer version the installer fails
# (exit 3); then a silent uninstall, finished when it returns, after which
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
# An older version, with a file the new one does not have.
old=$run/old-version
rm -rf "$old" && mkdir -p "$old" && cp -r "$stage" "$old/stage" && echo old >"$old/stage/old-only.txt"
{ cat build/windows/package/files.nsh; echo '  Delete "$INSTDIR\old-only.txt"'; } >"$old/files.nsh"
mapfile -t defines <build/windows/package/makensis-defines
makensis -V1 -DVERSION=1.0.0.0 -DSTAGE="$old/stage" -DFILES="$old/files.nsh" "${defines[@]}" \
  -DOUTFILE="$old/setup.exe" packaging/tavik-windows.nsi >"$log" 2>&1 ||
  installer_fail "the older installer could not be built: $(cat "$log")"
timeout 120 wine "$old/setup.exe" /S </dev/null >"$log" 2>&1 || installer_fail "the older version did not install"
[ -f "$installed/old-only.txt" ] || installer_fail "the older version did not install its file"
timeout 120 wine "$setup" /S </dev/null >"$log" 2>&1 || installer_fail "the silent install failed: $(cat "$log")"
[ ! -e "$installed/old-only.txt" ] || installer_fail "the older version's file is left after the upgrade"
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

timeout 60 wine reg query "$uninstall_key" /v EstimatedSize </dev/null >"$log" 2>&1 || true
grep -q "0x[1-9a-f]" "$log" || installer_fail "no EstimatedSize in the uninstall entry: $(cat "$log")"

# The console running: neither the installer nor the uninstaller touches a file.
sums() { (cd "$installed" && find . -type f -exec md5sum {} + | sort); }
before=$(sums)
(cd "$installed" && exec timeout 120 wine tavik-v1-basic.exe </dev/null >"$run/installed-console.log" 2>&1) &
installed_console=$!
timeout 20 xdotool search --sync --onlyvisible --name '^ORVANE BASIC TAVIK V0\.9$' >/dev/null ||
  installer_fail "the installed console did not start"
status=0
timeout 120 wine "$setup" /S </dev/null >"$log" 2>&1 || status=$?
[ "$status" -eq 2 ] || installer_fail "the installer with the console running: exit $status, not 2"
status=0
timeout 120 wine "$installed/uninstall.exe" /S </dev/null >"$log" 2>&1 || status=$?
[ "$status" -eq 2 ] || installer_fail "the uninstaller with the console running: exit $status, not 2"
[ "$(sums)" = "$before" ] || installer_fail "files changed while the console ran"
kill "$installed_console" 2>/dev/null || true
wait "$installed_console" 2>/dev/null || true
timeout 60 wineserver -w || true
# A newer version installed: no downgrade under /S.
timeout 60 wine reg add "$uninstall_key" /v DisplayVersion /d 99.0.0.0 /f </dev/null >"$log" 2>&1
status=0
timeout 120 wine "$setup" /S </dev/null >"$log" 2>&1 || status=$?
[ "$status" -eq 3 ] || installer_fail "the install over a newer version: exit $status, not 3"
[ "$(sums)" = "$before" ] || installer_fail "files changed by the refused downgrade"
timeout 60 wine reg add "$uninstall_key" /v DisplayVersion /d "$installer_version" /f </dev/null >"$log" 2>&1

# The uninstaller has finished when it returns: nothing of Tavik is left
# but, under Wine, which refuses to rename a running program, the
# uninstaller itself in its folder, both removed at the next restart (on
# Windows it moves itself out and the folder goes at once).
timeout 120 wine "$installed/uninstall.exe" /S </dev/null >"$log" 2>&1 || installer_fail "the silent uninstall failed"
left=$( (cd "$installed" 2>/dev/null && find . -mindepth 1 ! -name uninstall.exe) | tr '\n' ' ')
[ -z "$left" ] || installer_fail "left after uninstalling: $left"
[ ! -e "$menu" ] || installer_fail "Start-menu entries left after uninstalling: $(ls "$menu")"
if timeout 60 wine reg query "$uninstall_key" </dev/null >"$log" 2>&1; then
  installer_fail "the uninstall entry is left after uninstalling"
fi
timeout 120 wineboot --restart </dev/null >"$log" 2>&1 || true
timeout 120 wineserver -w || true
[ ! -e "$installed" ] || installer_fail "left after uninstalling and a restart: $(cd "$installed" && find . | tr '\n' ' ')"
echo "test-windows: installer: $(basename "$setup") ($(stat -c %s "$setup") bytes) installs, runs and uninstalls without a trace"
