#!/usr/bin/env bash
# Draws the ten pictures of the troubleshooting guide window, one for each of
# steps 3 to 12: flat 1400×700 mock-ups of what the step asks the user to do,
# in the window's own colours, with short Chinese labels. Writes step03.jpg …
# step12.jpg (JPEG, quality 90, no metadata, so a rerun gives the same bytes).
#
#   resources/make_guide_pictures.sh [OUTPUT_FOLDER]     (default resources/guide)
#
# Needs ImageMagick (convert, or magick where there is no convert) and the
# WenQuanYi Micro Hei font (fonts-wqy-microhei). The shape helpers below add
# to one list of ImageMagick arguments per picture, rendered in a single call.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/guide}
mkdir -p "$out"

if command -v convert >/dev/null; then
    im() { convert "$@"; }
else
    im() { magick "$@"; }
fi

W=1400
H=700
FONT=WenQuanYi-Micro-Hei
if ! im -list font | grep -qx "  Font: $FONT"; then
    echo "ImageMagick does not know the font $FONT (install fonts-wqy-microhei)" >&2
    exit 1
fi

# Colour roles, shared with the guide window.
INK='rgb(30,41,59)'         # headings and labels
BODY='rgb(71,85,105)'       # ordinary text
MUTED='rgb(100,116,139)'    # secondary text, outlines of idle controls
ACCENT='rgb(37,99,235)'     # what the user should click, arrows
LINE='rgb(229,233,241)'     # frames
LINE2='rgb(237,240,244)'    # separators
TINT='rgb(239,246,255)'     # highlighted rows and cards
PALE='rgb(219,234,254)'     # secondary text on the blue prompt
SIDE='rgb(248,250,252)'     # title bars, side bar of the antivirus window
GREEN='rgb(22,163,74)'
GREEN_TINT='rgb(240,253,244)'
GREEN_LINE='rgb(187,247,208)'
AMBER='rgb(217,119,6)'
AMBER_TINT='rgb(255,251,235)'
AMBER_LINE='rgb(253,230,138)'
WHITE='rgb(255,255,255)'

# Sizes shared by all pictures.
M=50        # outer margin of every mock window
R=20        # corner radius of windows and cards
r=12        # corner radius of buttons, rows and boxes
BAR=76      # height of a window's title bar
H1=44       # heading
T=38        # labels of rows and buttons
S=32        # secondary text
TB=30       # title bar text, the smallest text used

ARGS=()

begin() { ARGS=(-size "${W}x${H}" xc:white); }

finish() {
    im "${ARGS[@]}" -strip -sampling-factor 4:4:4 -quality 90 "$out/$1"
}

# Width in pixels of a text at a size.
textw() {
    im -font "$FONT" -pointsize "$1" label:"${2//%/%%}" -format %w info:
}

# Width of a button showing TEXT: its text, padding, at least 180.
button_w() {
    local w=$(( $(textw "$T" "$1") + 2 * 40 ))
    (( w < 180 )) && w=180
    echo "$w"
}

# label X Y SIZE COLOUR TEXT [ANCHOR] [bold]
# Y is the vertical middle of the text. ANCHOR w: starts at X, c: centred on X,
# e: ends at X.
label() {
    local x=$1 y=$2 size=$3 colour=$4 text=$5 anchor=${6:-w} weight=${7:-}
    local gravity offset
    text=${text//\\/\\\\}
    text=${text//%/%%}
    case $anchor in
        w) gravity=West;   offset=$(printf '%+d%+d' "$x" $((y - H / 2))) ;;
        c) gravity=Center; offset=$(printf '%+d%+d' $((x - W / 2)) $((y - H / 2))) ;;
        e) gravity=East;   offset=$(printf '%+d%+d' $((W - x)) $((y - H / 2))) ;;
    esac
    if [[ $weight == bold ]]; then
        ARGS+=(-stroke "$colour" -strokewidth 1)
    else
        ARGS+=(-stroke none)
    fi
    ARGS+=(-font "$FONT" -pointsize "$size" -fill "$colour" -gravity "$gravity"
        -annotate "$offset" "$text" -gravity NorthWest)
}

# rbox X0 Y0 X1 Y1 RADIUS FILL [STROKE] [STROKE_WIDTH]: a rounded rectangle.
rbox() {
    local fill=$6 stroke=${7:-none} sw=${8:-3}
    ARGS+=(-fill "$fill" -stroke "$stroke" -strokewidth "$sw"
        -draw "roundrectangle $1,$2 $3,$4 $5,$5")
}

# ring X0 Y0 X1 Y1 [COLOUR] [RADIUS]: the highlight drawn around the thing to
# click, whose own corner radius is RADIUS.
ring() {
    local g=9
    rbox $(($1 - g)) $(($2 - g)) $(($3 + g)) $(($4 + g)) $((${6:-$r} + g)) none "${5:-$ACCENT}" 4
}

hline() {
    ARGS+=(-fill none -stroke "${4:-$LINE2}" -strokewidth "${5:-3}" -draw "line $1,$3 $2,$3")
}

# button X Y0 Y1 TEXT STYLE: a button whose left edge is X, wide enough for its
# text. STYLE primary (blue), plain (outlined), onblue / onblue-light (on the
# blue prompt). Leaves its right edge in BUTTON_X1.
button() {
    local x=$1 y0=$2 y1=$3 text=$4 style=$5
    local w; w=$(button_w "$text")
    BUTTON_X1=$((x + w))
    local cx=$((x + w / 2)) cy=$(((y0 + y1) / 2))
    case $style in
        primary)
            rbox "$x" "$y0" "$BUTTON_X1" "$y1" "$r" "$ACCENT"
            label "$cx" "$cy" "$T" "$WHITE" "$text" c bold ;;
        plain)
            rbox "$x" "$y0" "$BUTTON_X1" "$y1" "$r" "$WHITE" "$LINE" 3
            label "$cx" "$cy" "$T" "$INK" "$text" c ;;
        onblue)
            rbox "$x" "$y0" "$BUTTON_X1" "$y1" "$r" none "$WHITE" 3
            label "$cx" "$cy" "$T" "$WHITE" "$text" c ;;
        onblue-light)
            rbox "$x" "$y0" "$BUTTON_X1" "$y1" "$r" "$WHITE" "$WHITE" 3
            label "$cx" "$cy" "$T" "$ACCENT" "$text" c bold ;;
    esac
}

# toggle X CY on|off: a switch 120 wide whose left edge is X.
toggle() {
    local x=$1 cy=$2 x1=$(($1 + 120))
    if [[ $3 == on ]]; then
        rbox "$x" $((cy - 30)) "$x1" $((cy + 30)) 30 "$GREEN" "$GREEN" 3
        ARGS+=(-fill "$WHITE" -stroke none -draw "circle $((x1 - 30)),$cy $((x1 - 30)),$((cy + 18))")
    else
        rbox "$x" $((cy - 30)) "$x1" $((cy + 30)) 30 "$WHITE" "$MUTED" 3
        ARGS+=(-fill "$MUTED" -stroke none -draw "circle $((x + 30)),$cy $((x + 30)),$((cy + 16))")
    fi
}

# arrow COLOUR X1 Y1 X2 Y2 [X3 Y3 …]: a line through the points with a head
# at the last one.
arrow() {
    local colour=$1; shift
    local pts=("$@") n=$#
    local tip_x=${pts[n - 2]} tip_y=${pts[n - 1]} from_x=${pts[n - 4]} from_y=${pts[n - 3]}
    local head
    # The last segment stops at the base of the head; the head ends at the tip.
    head=$(awk -v x0="$from_x" -v y0="$from_y" -v x1="$tip_x" -v y1="$tip_y" 'BEGIN {
        len = 28; half = 17
        dx = x1 - x0; dy = y1 - y0; d = sqrt(dx * dx + dy * dy); ux = dx / d; uy = dy / d
        bx = x1 - ux * len; by = y1 - uy * len
        printf "%.1f,%.1f %.1f,%.1f %.1f,%.1f %.1f,%.1f\n", bx + ux, by + uy,
            x1, y1, bx - uy * half, by + ux * half, bx + uy * half, by - ux * half
    }')
    local base=${head%% *} rest=${head#* }
    local mvg="stroke-linecap round" i
    # Separate round-capped lines: this ImageMagick strokes open polylines badly.
    for ((i = 0; i < n - 4; i += 2)); do
        mvg+=" line ${pts[i]},${pts[i + 1]} ${pts[i + 2]},${pts[i + 3]}"
    done
    mvg+=" line ${pts[n - 4]},${pts[n - 3]} $base"
    ARGS+=(-fill none -stroke "$colour" -strokewidth 5 -draw "$mvg"
        -fill "$colour" -stroke none -draw "polygon $rest")
}

# cursor X Y: a mouse pointer 38×58 with its tip at X,Y.
cursor() {
    local x=$1 y=$2 pts="" p
    for p in 0,0 0,60 14,46 25,69 36,64 25,42 44,42; do
        pts+="$((x + ${p%,*} * 85 / 100)),$((y + ${p#*,} * 85 / 100)) "
    done
    ARGS+=(-fill "$WHITE" -stroke "$INK" -strokewidth 3 -draw "polygon $pts")
}

# tick CX CY SIZE COLOUR WIDTH: a check mark.
tick() {
    local cx=$1 cy=$2 s=$3
    local x0=$((cx - s)) x1=$((cx - s / 3)) y1=$((cy + s * 2 / 3)) x2=$((cx + s)) y2=$((cy - s * 2 / 3))
    ARGS+=(-fill none -stroke "$4" -strokewidth "$5"
        -draw "stroke-linecap round line $x0,$cy $x1,$y1 line $x1,$y1 $x2,$y2")
}

# check_badge CX CY RADIUS: a green disc with a white check mark.
check_badge() {
    ARGS+=(-fill "$GREEN" -stroke none -draw "circle $1,$2 $1,$(($2 + $3))")
    tick "$1" "$2" $(($3 / 2)) "$WHITE" $(($3 / 5))
}

# checkbox X CY on|off
checkbox() {
    if [[ $3 == on ]]; then
        rbox "$1" $(($2 - 16)) $(($1 + 32)) $(($2 + 16)) 7 "$ACCENT" "$ACCENT" 3
        tick $(($1 + 16)) "$2" 9 "$WHITE" 4
    else
        rbox "$1" $(($2 - 16)) $(($1 + 32)) $(($2 + 16)) 7 "$WHITE" "$MUTED" 3
    fi
}

# radio CX CY on|off
radio() {
    if [[ $3 == on ]]; then
        ARGS+=(-fill "$WHITE" -stroke "$ACCENT" -strokewidth 4 -draw "circle $1,$2 $1,$(($2 + 16))"
            -fill "$ACCENT" -stroke none -draw "circle $1,$2 $1,$(($2 + 8))")
    else
        ARGS+=(-fill "$WHITE" -stroke "$MUTED" -strokewidth 3 -draw "circle $1,$2 $1,$(($2 + 16))")
    fi
}

# shield CX CY SIZE COLOUR: a shield about SIZE high.
shield() {
    local cx=$1 cy=$2 h=$(($3 / 2)) w=$(($3 * 2 / 5))
    ARGS+=(-fill "$4" -stroke "$4" -strokewidth 2 -draw "path 'M $cx,$((cy - h))
        L $((cx + w)),$((cy - h * 7 / 10)) L $((cx + w)),$((cy - h / 10))
        Q $((cx + w)),$((cy + h * 6 / 10)) $cx,$((cy + h))
        Q $((cx - w)),$((cy + h * 6 / 10)) $((cx - w)),$((cy - h / 10))
        L $((cx - w)),$((cy - h * 7 / 10)) Z'")
}

# folder X CY: a folder 52 wide whose left edge is X.
folder() {
    local x=$1 y=$(($2 - 20))
    rbox "$x" "$y" $((x + 24)) $((y + 14)) 4 'rgb(96,165,250)' none
    rbox "$x" $((y + 6)) $((x + 52)) $((y + 40)) 5 'rgb(147,197,253)' 'rgb(96,165,250)' 2
}

# document X CY: a page with a folded corner, 36 wide, left edge X.
document() {
    local x=$1 y=$(($2 - 23))
    ARGS+=(-fill "$WHITE" -stroke "$MUTED" -strokewidth 3 -draw "stroke-linejoin round polygon $x,$y $((x + 24)),$y $((x + 36)),$((y + 12)) $((x + 36)),$((y + 46)) $x,$((y + 46))"
        -fill none -draw "stroke-linecap round line $((x + 24)),$y $((x + 24)),$((y + 12))
            line $((x + 24)),$((y + 12)) $((x + 36)),$((y + 12))")
}

# warning CX CY: an amber triangle with an exclamation mark.
warning() {
    local cx=$1 cy=$2
    ARGS+=(-fill "$AMBER" -stroke "$AMBER" -strokewidth 6 -draw "stroke-linejoin round polygon $cx,$((cy - 20)) $((cx + 22)),$((cy + 18)) $((cx - 22)),$((cy + 18))"
        -stroke "$WHITE" -strokewidth 5 -draw "stroke-linecap round line $cx,$((cy - 6)) $cx,$((cy + 5))"
        -fill "$WHITE" -stroke none -draw "circle $cx,$((cy + 12)) $cx,$((cy + 15))")
}

# window TITLE [ICON]: the mock window that fills the picture inside the
# margin, with a title bar. ICON shield or app puts a small icon before the title.
window() {
    local x0=$M y0=$M x1=$((W - M)) y1=$((H - M)) title=$1 icon=${2:-}
    local bar=$((y0 + BAR)) cy=$((y0 + BAR / 2)) tx=$((M + 36))
    rbox "$x0" "$y0" "$x1" "$y1" "$R" "$WHITE"
    rbox "$x0" "$y0" "$x1" $((bar + R)) "$R" "$SIDE"
    ARGS+=(-fill "$WHITE" -stroke none -draw "rectangle $x0,$bar $x1,$((bar + R))")
    hline "$x0" "$x1" "$bar" "$LINE2" 3
    case $icon in
        shield) shield "$tx" "$cy" 34 "$ACCENT"; tx=$((tx + 34)) ;;
        app) rbox $((tx - 16)) $((cy - 16)) $((tx + 16)) $((cy + 16)) 7 "$ACCENT"
             tx=$((tx + 34)) ;;
    esac
    label "$tx" "$cy" "$TB" "$BODY" "$title"
    # Minimise, maximise and close.
    local bx=$((x1 - 170))
    ARGS+=(-fill none -stroke "$MUTED" -strokewidth 3
        -draw "line $bx,$cy $((bx + 22)),$cy"
        -draw "rectangle $((bx + 62)),$((cy - 11)) $((bx + 84)),$((cy + 11))"
        -draw "line $((bx + 124)),$((cy - 11)) $((bx + 146)),$((cy + 11))"
        -draw "line $((bx + 124)),$((cy + 11)) $((bx + 146)),$((cy - 11))")
    rbox "$x0" "$y0" "$x1" "$y1" "$R" none "$LINE" 3
}

# side_nav SELECTED ITEM…: the left column of the antivirus window.
NAV_X1=330
side_nav() {
    local selected=$1; shift
    local y0=$((M + BAR + 2)) y=$((M + BAR + 70)) item
    ARGS+=(-fill "$SIDE" -stroke none -draw "rectangle $((M + 2)),$y0 $NAV_X1,$((H - M - R))")
    rbox $((M + 2)) $((H - M - 2 * R)) $NAV_X1 $((H - M - 2)) "$R" "$SIDE"
    ARGS+=(-fill "$SIDE" -stroke none -draw "rectangle $((NAV_X1 - R)),$((H - M - 2 * R)) $NAV_X1,$((H - M - 2))")
    ARGS+=(-fill none -stroke "$LINE2" -strokewidth 3 -draw "line $NAV_X1,$y0 $NAV_X1,$((H - M - 2))")
    for item in "$@"; do
        if [[ $item == "$selected" ]]; then
            rbox $((M + 20)) $((y - 34)) $((NAV_X1 - 20)) $((y + 34)) "$r" "$TINT"
            rbox $((M + 20)) $((y - 20)) $((M + 26)) $((y + 20)) 3 "$ACCENT"
            label $((M + 50)) "$y" "$T" "$ACCENT" "$item" w bold
        else
            label $((M + 50)) "$y" "$T" "$BODY" "$item"
        fi
        y=$((y + 84))
    done
}

# Content of the settings windows starts here.
CX0=110
CX1=$((W - 110))
HEAD_Y=$((M + BAR + 62))

# Steps 4 and 6: the real-time protection switch, off or on again.
protection_panel() {
    local state=$1
    window "Windows 安全中心" shield
    label "$CX0" "$HEAD_Y" "$H1" "$INK" "病毒和威胁防护设置" w bold
    rbox "$CX0" 262 "$CX1" 432 "$R" "$WHITE" "$LINE" 3
    label $((CX0 + 44)) 318 "$T" "$INK" "实时保护" w bold
    label $((CX0 + 44)) 376 "$S" "$MUTED" "查找并阻止恶意软件"
    local tx=$((CX1 - 44 - 120))
    if [[ $state == off ]]; then
        label $((tx - 24)) 347 "$T" "$BODY" "关" e
        toggle "$tx" 347 off
        ring "$tx" 317 $((tx + 120)) 377 "$ACCENT" 30
        cursor $((tx + 34)) 356
        rbox "$CX0" 480 "$CX1" 584 "$R" "$AMBER_TINT" "$AMBER_LINE" 3
        warning $((CX0 + 56)) 532
        label $((CX0 + 100)) 532 "$T" "$BODY" "只是暂时关闭，排查后请重新开启"
    else
        label $((tx - 24)) 347 "$T" "$GREEN" "开" e bold
        toggle "$tx" 347 on
        ring "$tx" 317 $((tx + 120)) 377 "$ACCENT" 30
        cursor $((tx + 96)) 356
        rbox "$CX0" 480 "$CX1" 584 "$R" "$GREEN_TINT" "$GREEN_LINE" 3
        check_badge $((CX0 + 56)) 532 24
        label $((CX0 + 100)) 532 "$T" "$BODY" "实时保护已重新开启"
    fi
}

# The blue prompt of steps 7 and 8, with its darker button bar from FOOT_Y down.
FOOT_Y=510
DEEP='rgb(29,78,216)'
prompt_box() {
    rbox "$M" "$M" $((W - M)) $((H - M)) "$R" "$ACCENT"
    rbox "$M" "$FOOT_Y" $((W - M)) $((H - M)) "$R" "$DEEP"
    ARGS+=(-fill "$DEEP" -stroke none -draw "rectangle $M,$FOOT_Y $((W - M)),$((FOOT_Y + R))")
    label 130 150 52 "$WHITE" "Windows 已保护你的电脑" w bold
    label 130 236 "$S" "$PALE" "已阻止一个无法识别的应用启动，运行它可能有风险。"
}

# prompt_button X TEXT STYLE: a button of the prompt's bar, at least 180 wide.
prompt_button() {
    button "$1" $((FOOT_Y + 36)) $((H - M - 36)) "$2" "$3"
}

step03() {
    begin
    local names=("开始" "设置" "隐私和安全性" "Windows 安全中心" "病毒和威胁防护")
    local n=${#names[@]} pitch_x=150 pitch_y=118 bh=84 pad=36 i
    local widths=()
    for i in "${!names[@]}"; do widths+=($(( $(textw "$T" "${names[i]}") + 2 * pad ))); done
    local span=$(( (n - 1) * pitch_x + widths[n - 1] ))
    local x0=$(( (W - span) / 2 )) y0=$(( (H - (n - 1) * pitch_y - bh) / 2 ))
    for i in "${!names[@]}"; do
        local x=$((x0 + i * pitch_x)) y=$((y0 + i * pitch_y))
        local cy=$((y + bh / 2)) cx=$((x + widths[i] / 2))
        if (( i < n - 1 )); then
            arrow "$ACCENT" $((x + 50)) $((y + bh + 6)) $((x + 50)) $((cy + pitch_y)) \
                $((x + pitch_x - 8)) $((cy + pitch_y))
        fi
        if (( i == n - 1 )); then
            rbox "$x" "$y" $((x + widths[i])) $((y + bh)) "$r" "$ACCENT"
            label "$cx" "$cy" "$T" "$WHITE" "${names[i]}" c bold
        else
            rbox "$x" "$y" $((x + widths[i])) $((y + bh)) "$r" "$WHITE" "$LINE" 3
            label "$cx" "$cy" "$T" "$INK" "${names[i]}" c
        fi
    done
    finish step03.jpg
}

step04() {
    begin
    protection_panel off
    finish step04.jpg
}

step05() {
    begin
    window "Windows 安全中心" shield
    label "$CX0" "$HEAD_Y" "$H1" "$INK" "排除项" w bold
    label "$CX0" 248 "$S" "$MUTED" "添加不需要扫描的项目"
    button "$CX0" 294 364 "+ 添加排除项" primary
    # The menu that opens under the button.
    local mx1=$((CX0 + 300))
    rbox "$CX0" 378 "$mx1" 564 "$r" "$WHITE" "$LINE" 3
    label $((CX0 + 40)) 424 "$T" "$BODY" "文件"
    rbox $((CX0 + 10)) 476 $((mx1 - 10)) 550 8 "$TINT" "$ACCENT" 3
    label $((CX0 + 40)) 513 "$T" "$ACCENT" "文件夹" w bold
    cursor $((CX0 + 190)) 520
    # The folder it adds.
    local rx=$((mx1 + 150))
    arrow "$ACCENT" $((mx1 + 30)) 513 $((rx - 22)) 513
    rbox "$rx" 466 "$CX1" 560 "$r" "$WHITE" "$LINE" 3
    folder $((rx + 30)) 513
    label $((rx + 104)) 513 "$T" "$INK" 'D:\Tarnwick软件'
    label $((CX1 - 30)) 513 "$S" "$MUTED" "文件夹" e
    finish step05.jpg
}

step06() {
    begin
    protection_panel on
    finish step06.jpg
}

step07() {
    begin
    prompt_box
    label 130 326 "$T" "$WHITE" "更多信息" w bold
    local lw; lw=$(textw "$T" "更多信息")
    hline 130 $((130 + lw)) 352 "$WHITE" 3
    ring 118 294 $((142 + lw)) 362 "$WHITE"
    cursor $((130 + lw - 6)) 344
    prompt_button $((W - M - 60 - $(button_w "不运行"))) "不运行" onblue
    finish step07.jpg
}

step08() {
    begin
    prompt_box
    label 130 320 "$T" "$PALE" "应用："
    label 300 320 "$T" "$WHITE" "Tarnwick软件.exe"
    label 130 400 "$T" "$PALE" "发布者："
    label 300 400 "$T" "$WHITE" "未知发布者"
    local x2=$((W - M - 60 - $(button_w "不运行"))) x1
    x1=$((x2 - 30 - $(button_w "仍要运行")))
    prompt_button "$x1" "仍要运行" onblue-light
    ring "$x1" $((FOOT_Y + 36)) "$BUTTON_X1" $((H - M - 36)) "$WHITE"
    cursor $((BUTTON_X1 - 32)) $((FOOT_Y + 60))
    prompt_button "$x2" "不运行" onblue
    finish step08.jpg
}

step09() {
    begin
    window "Windows 安全中心" shield
    label "$CX0" "$HEAD_Y" "$H1" "$INK" "应用和浏览器控制" w bold
    local lx1=740 y rows=("智能应用控制设置" "基于声誉的保护设置" "漏洞利用防护设置") i
    for i in 0 1 2; do
        y=$((304 + i * 118))
        if (( i == 0 )); then
            rbox "$CX0" $((y - 44)) "$lx1" $((y + 44)) "$r" "$TINT"
            shield $((CX0 + 46)) "$y" 44 "$ACCENT"
            label $((CX0 + 90)) "$y" "$T" "$ACCENT" "${rows[i]}" w bold
            ring "$CX0" $((y - 44)) "$lx1" $((y + 44))
            cursor $((lx1 - 110)) $((y + 6))
        else
            rbox "$CX0" $((y - 44)) "$lx1" $((y + 44)) "$r" "$WHITE" "$LINE" 3
            shield $((CX0 + 46)) "$y" 44 "$MUTED"
            label $((CX0 + 90)) "$y" "$T" "$BODY" "${rows[i]}"
        fi
    done
    # What the entry opens: its three states.
    local cx0=850
    arrow "$ACCENT" $((lx1 + 22)) 304 $((cx0 - 18)) 304
    rbox "$cx0" 260 "$CX1" 584 "$R" "$WHITE" "$LINE" 3
    label $((cx0 + 40)) 304 "$T" "$INK" "智能应用控制" w bold
    hline $((cx0 + 3)) $((CX1 - 3)) 348 "$LINE2" 3
    local opts=("开" "评估" "关")
    for i in 0 1 2; do
        y=$((404 + i * 64))
        if (( i == 0 )); then radio $((cx0 + 60)) "$y" on; else radio $((cx0 + 60)) "$y" off; fi
        label $((cx0 + 96)) "$y" "$T" "$BODY" "${opts[i]}"
    done
    finish step09.jpg
}

# The antivirus window of steps 10 and 11.
av_window() {
    window "安全软件" shield
    side_nav "$1" "首页" "病毒查杀" "隔离区" "信任区"
}
AX0=$((NAV_X1 + 50))

step10() {
    begin
    av_window "隔离区"
    label "$AX0" "$HEAD_Y" "$H1" "$INK" "隔离区" w bold
    label $((AX0 + 128)) 250 "$S" "$MUTED" "文件名"
    label $((CX1 - 30)) 250 "$S" "$MUTED" "状态" e
    local files=("Tarnwick软件.exe" "twhelper.dll" "update.tmp") i y
    for i in 0 1 2; do
        y=$((310 + i * 74))
        if (( i == 0 )); then
            rbox "$AX0" $((y - 32)) "$CX1" $((y + 32)) "$r" "$TINT" "$ACCENT" 3
            checkbox $((AX0 + 16)) "$y" on
            document $((AX0 + 72)) "$y"
            label $((AX0 + 128)) "$y" "$T" "$INK" "${files[i]}" w bold
        else
            hline "$AX0" "$CX1" $((y + 37)) "$LINE2" 3
            checkbox $((AX0 + 16)) "$y" off
            document $((AX0 + 72)) "$y"
            label $((AX0 + 128)) "$y" "$T" "$BODY" "${files[i]}"
        fi
        label $((CX1 - 30)) "$y" "$S" "$MUTED" "已隔离" e
    done
    local xd=$((CX1 - $(button_w "删除"))) xr
    xr=$((xd - 30 - $(button_w "恢复")))
    button "$xr" 520 586 "恢复" primary
    ring "$xr" 520 "$BUTTON_X1" 586
    cursor $((BUTTON_X1 - 34)) 556
    button "$xd" 520 586 "删除" plain
    finish step10.jpg
}

step11() {
    begin
    av_window "信任区"
    label "$AX0" "$HEAD_Y" "$H1" "$INK" "信任区 / 排除项" w bold
    local bx=$((CX1 - $(button_w "+ 添加目录")))
    button "$bx" $((HEAD_Y - 33)) $((HEAD_Y + 33)) "+ 添加目录" primary
    ring "$bx" $((HEAD_Y - 33)) "$CX1" $((HEAD_Y + 33))
    cursor $((CX1 - 32)) $((HEAD_Y + 8))
    label "$AX0" 256 "$S" "$MUTED" "这些目录里的文件不会被拦截"
    local dirs=('D:\常用工具' 'D:\工作资料' 'D:\Tarnwick软件') i y
    for i in 0 1 2; do
        y=$((336 + i * 100))
        if (( i == 2 )); then
            rbox "$AX0" $((y - 38)) "$CX1" $((y + 38)) "$r" "$TINT" "$ACCENT" 3
            folder $((AX0 + 30)) "$y"
            label $((AX0 + 104)) "$y" "$T" "$INK" "${dirs[i]}" w bold
            local bw=$(( $(textw "$S" "新添加") + 40 ))
            rbox $((CX1 - 24 - bw)) $((y - 24)) $((CX1 - 24)) $((y + 24)) 24 "$GREEN_TINT" "$GREEN_LINE" 2
            label $((CX1 - 24 - bw / 2)) "$y" "$S" "$GREEN" "新添加" c
        else
            rbox "$AX0" $((y - 38)) "$CX1" $((y + 38)) "$r" "$WHITE" "$LINE" 3
            folder $((AX0 + 30)) "$y"
            label $((AX0 + 104)) "$y" "$T" "$BODY" "${dirs[i]}"
        fi
    done
    finish step11.jpg
}

step12() {
    begin
    window "Tarnwick软件" app
    check_badge $((W / 2)) 300 76
    label $((W / 2)) 448 52 "$INK" "软件已正常打开" c bold
    label $((W / 2)) 522 "$S" "$MUTED" "可以开始使用了" c
    finish step12.jpg
}

for step in 03 04 05 06 07 08 09 10 11 12; do
    "step$step"
done

# Every picture must be there, at the guide's size and small enough to embed.
status=0
for step in 03 04 05 06 07 08 09 10 11 12; do
    file=$out/step$step.jpg
    size=$(im "$file" -format '%wx%h' info: 2>/dev/null || echo missing)
    bytes=$(stat -c %s "$file" 2>/dev/null || echo 0)
    if [[ $size != "${W}x${H}" ]] || (( bytes == 0 || bytes > 150000 )); then
        echo "step$step.jpg: $size, $bytes bytes" >&2
        status=1
    fi
done
exit $status
