#!/usr/bin/env bash
# Renders the SVG artwork under resources/art/ into the PNG files the program
# loads from its Qt resources. Every PNG is written at its exact pixel size.
# Rerunning the script regenerates all of them.
#
# Needs rsvg-convert (Debian package librsvg2-bin) and the FreeSans fonts
# (fonts-freefont-ttf), which rsvg finds through fontconfig.
#
# Usage: scripts/render-art.sh

set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
art="$root/resources/art"
out="$root/resources"

if ! command -v rsvg-convert >/dev/null 2>&1; then
    echo "render-art.sh: rsvg-convert not found (install librsvg2-bin)" >&2
    exit 1
fi
fonts="$(fc-list 2>/dev/null || true)"
if ! grep -q 'FreeSans' <<<"$fonts"; then
    echo "render-art.sh: warning: FreeSans font not found, text will not match" >&2
fi

# source SVG (below resources/art)    target PNG (below resources)     width height
targets=(
    "images/icon.svg                  images/icon.png                    256 256"
    # The desktop's icon theme, one picture per size.
    "images/icon.svg                  icons/16x16/vestra.png              16  16"
    "images/icon.svg                  icons/32x32/vestra.png              32  32"
    "images/icon.svg                  icons/48x48/vestra.png              48  48"
    "images/icon.svg                  icons/64x64/vestra.png              64  64"
    "images/icon.svg                  icons/128x128/vestra.png           128 128"
    "images/icon.svg                  icons/256x256/vestra.png           256 256"
    "images/Head.svg                  images/Head.png                    925  97"
    "images/logo.svg                  images/logo.png                    230  70"
    "images/border.svg                images/border.png                    9   9"
    "images/border_topless.svg        images/border_topless.png            9   9"
    "images/drop_images_here.svg      images/drop_images_here.png        220 160"
    "images/sync_kind.svg             images/sync_kind.png               156 227"
    "images/button_sync.svg           images/button_sync.png             119  52"
    "images/button_undo.svg           images/button_undo.png              52  52"
    "images/button_undo_disabled.svg  images/button_undo_disabled.png     52  52"
    "images/button_reset.svg          images/button_reset.png             43  43"
    "images/button_load.svg           images/button_load.png              43  43"
    "images/button_settings_small.svg images/button_settings_small.png    27  27"
    "images/button_info_small.svg     images/button_info_small.png        27  27"
    "images/button_help_small.svg     images/button_help_small.png        27  27"
    "images/button_map_small.svg      images/button_map_small.png         27  27"
    "images/button_load_gpx.svg       images/button_load_gpx.png          24  24"
    "images/button_camera_clock.svg   images/button_camera_clock.png      24  24"
    "images/marker_own.svg            images/marker_own.png               16  16"
    "images/marker_proposed.svg       images/marker_proposed.png          16  16"
    "images/marker_set.svg            images/marker_set.png               16  16"

    "gui/radio/unchecked.svg          gui/radio/unchecked.png             13  13"
    "gui/radio/checked.svg            gui/radio/checked.png               13  13"
    "gui/radio/disabled_unchecked.svg gui/radio/disabled_unchecked.png    13  13"
    "gui/radio/disabled_checked.svg   gui/radio/disabled_checked.png      13  13"
    "gui/checkbox/unchecked.svg       gui/checkbox/unchecked.png          13  13"
    "gui/checkbox/checked.svg         gui/checkbox/checked.png            13  13"
    "gui/checkbox/disabled_unchecked.svg gui/checkbox/disabled_unchecked.png 13 13"
    "gui/checkbox/disabled_checked.svg gui/checkbox/disabled_checked.png  13  13"
    "gui/button/normal.svg            gui/button/normal.png               24  24"
    "gui/button/pressed.svg           gui/button/pressed.png              24  24"
    "gui/combobox/arrow.svg           gui/combobox/arrow.png               9   6"
    "gui/fader/groove.svg             gui/fader/groove.png                48   6"
    "gui/fader/handle.svg             gui/fader/handle.png                11  19"
    "gui/poti/knob.svg                gui/poti/knob.png                   32  32"
    "gui/graphics_view/background.svg gui/graphics_view/background.png    16  16"
    "gui/fold_open.svg                gui/fold_open.png                    9   9"
    "gui/fold_closed.svg              gui/fold_closed.png                  9   9"
    "gui/color_cone.svg               gui/color_cone.png                  64  64"

    # The root graphics view tile is the same picture as the toolkit's one.
    "gui/graphics_view/background.svg graphics_view/background.png        16  16"
    "checkbox/checked_alt.svg         checkbox/checked_alt.png            13  13"
    "checkbox/unchecked_alt.svg       checkbox/unchecked_alt.png          13  13"
)

for entry in "${targets[@]}"; do
    read -r src dst width height <<<"$entry"
    mkdir -p "$(dirname "$out/$dst")"
    rsvg-convert --width="$width" --height="$height" --format=png \
        --output="$out/$dst.tmp" "$art/$src"
    mv -f "$out/$dst.tmp" "$out/$dst"
    echo "  $dst (${width}x${height})"
done
