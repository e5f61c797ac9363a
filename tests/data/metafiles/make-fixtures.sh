#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Remakes the metafile fidelity fixtures: each drawing as WMF and EMF, and LibreOffice's own PNG
# export of it as the reference. Needs LibreOffice (libreoffice-draw); the tests do not.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 make-fixtures.py "$work"
for f in "$work"/*.fodg; do
    for fmt in wmf emf png; do
        soffice -env:UserInstallation=file://$work/profile --headless --convert-to "$fmt" --outdir . "$f" >/dev/null 2>&1
    done
done
ls -la *.wmf *.emf *.png
