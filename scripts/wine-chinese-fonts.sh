#!/usr/bin/env bash
# Lets the wine prefix in $WINEPREFIX draw Chinese in the desktop's UI font:
# the fonts wine's dialogs and message boxes use are linked to WenQuanYi
# Micro Hei (Debian's fonts-wqy-microhei), as Windows links them to its own
# Chinese fonts. Run once after the prefix is made.
set -euo pipefail
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Segoe UI"; do
  wine reg add "$key" /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f >/dev/null 2>&1
done
