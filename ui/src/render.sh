#!/bin/sh
# Renders the two images the interface serves from their SVG sources (needs rsvg-convert, Debian's librsvg2-bin).
set -eu
cd "$(dirname "$0")"
rsvg-convert -w 256 -h 256 app-icon.svg -o ../app-icon.png
rsvg-convert -w 420 -h 120 official-logo.svg -o ../official-logo.png
