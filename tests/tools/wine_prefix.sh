#!/usr/bin/env bash
# Creates the private Wine prefix the Windows tests run in: Windows 10 reported,
# a private HOME whose Desktop and friends are real folders, no menu builder,
# and fonts that draw Chinese. Usage: wine_prefix.sh WINE_ROOT
set -euo pipefail
root=$1
export WINEPREFIX=$root/prefix HOME=$root/home WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
export DISPLAY=
rm -rf "$root"
mkdir -p "$HOME"

timeout 180 wineboot -i
timeout 60 wineserver -w

# Windows 10 for everything; single tests switch it where Windows 7 matters.
reg() { timeout 60 wine reg "$@" >/dev/null; }
reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d win10 /f
reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /t REG_SZ /d '' /f

R='HKCU\Software\Wine\Fonts\Replacements'
reg add "$R" /v 'Microsoft YaHei UI' /t REG_SZ /d 'WenQuanYi Micro Hei' /f
reg add "$R" /v 'Segoe UI Symbol' /t REG_SZ /d 'DejaVu Sans' /f
L='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
for f in 'Segoe UI' Tahoma 'Microsoft Sans Serif' 'MS Shell Dlg' 'MS Shell Dlg 2'; do
  reg add "$L" /v "$f" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f
done
reg add "$L" /v 'WenQuanYi Micro Hei' /t REG_MULTI_SZ /d 'DejaVuSans.ttf,DejaVu Sans' /f
timeout 60 wineserver -w

# The profile folders point into $HOME; make them real folders in the prefix.
for user in "$WINEPREFIX"/drive_c/users/*; do
  for link in "$user"/*; do
    if [ -L "$link" ]; then rm "$link"; mkdir -p "$link"; fi
  done
done

# S: is a second drive letter for C:, the way a subst or mapped drive reaches
# the same folders under another name.
ln -sfn ../drive_c "$WINEPREFIX/dosdevices/s:"

touch "$root/prefix.stamp"
