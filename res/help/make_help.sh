#!/bin/bash
# Draws the ten help pages (help_01.png … help_10.png) shown before the console: annotated
# diagrams of the login dialog, the console, the practice run and the strategies, in Chinese.
# Needs ImageMagick and fonts-wqy-microhei. Run from anywhere; writes next to this script.
set -euo pipefail
cd "$(dirname "$0")"
FONT=${HELP_FONT:-/usr/share/fonts/truetype/wqy/wqy-microhei.ttc}
W=720
H=480
CONVERT=${CONVERT:-/usr/bin/convert}
[ -x "$CONVERT" ] || CONVERT=convert

ops=()
# text X Y SIZE COLOUR STRING
text() { ops+=(-fill "$4" -stroke none -pointsize "$3" -annotate "+$1+$2" "$5"); }
# box X Y W H FILL [STROKE]
box() { ops+=(-fill "$5" -stroke "${6:-#808080}" -strokewidth 1 -draw "rectangle $1,$2 $(($1 + $3)),$(($2 + $4))"); }
# button X Y W H CAPTION [SIZE]
button() {
  box "$1" "$2" "$3" "$4" "#e1e1e1" "#adadad"
  local size=${6:-13}
  text $(($1 + 4)) $(($2 + $4 / 2 + size / 2 - 1)) "$size" black "$5"
}
# arrow X1 Y1 X2 Y2 (red, with a head at the second point)
arrow() {
  ops+=(-stroke "#d00000" -strokewidth 2 -fill none -draw "line $1,$2 $3,$4")
  local dx=$(($3 - $1)) dy=$(($4 - $2))
  local head
  head=$(awk -v x=$3 -v y=$4 -v dx=$dx -v dy=$dy 'BEGIN{l=sqrt(dx*dx+dy*dy); if(l==0)l=1; ux=dx/l; uy=dy/l;
    printf "%d,%d %d,%d %d,%d", x, y, x-10*ux+5*uy, y-10*uy-5*ux, x-10*ux-5*uy, y-10*uy+5*ux}')
  ops+=(-fill "#d00000" -stroke "#d00000" -draw "polygon $head")
}
# callout N X Y: a red numbered disc
callout() {
  ops+=(-fill "#d00000" -stroke white -strokewidth 1 -draw "circle $2,$3 $(($2 + 11)),$3")
  text $(($2 - 4)) $(($3 + 6)) 15 white "$1"
}
# note X Y STRING: one line of explanation
note() { text "$1" "$2" 16 "#202020" "$3"; }
page() {  # page N TITLE
  ops=(-size ${W}x${H} xc:"#fbfbf8" -font "$FONT"
       -fill "#1d5fa8" -stroke none -draw "rectangle 0,0 $W,44"
       -fill "#f0f0f0" -draw "rectangle 0,$((H - 28)) $W,$H")
  text 16 30 21 white "$2"
  text $((W - 116)) 30 15 "#cfe0f5" "帮助手册 $1/10"
  text 16 $((H - 9)) 13 "#606060" "上一步 / 下一步 翻页；知道了，跳过 直接进入控制台"
}
save() { "$CONVERT" "${ops[@]}" "help_$1.png"; }

# A miniature of the console column at X,Y (180 x 400), rows as the bidder sees them.
console_mock() {
  local x=$1 y=$2
  box "$x" "$y" 180 404 "#f0f0f0" "#404040"
  box "$x" "$y" 180 20 "#1d5fa8" "#1d5fa8"
  text $((x + 6)) $((y + 15)) 12 white "Vonter沪牌抢拍助手"
  text $((x + 6)) $((y + 38)) 12 black "拍卖剩余时间"
  box $((x + 82)) $((y + 26)) 50 16 white; text $((x + 85)) $((y + 39)) 11 black "00:00:56"
  button $((x + 136)) $((y + 25)) 40 18 "打开国拍" 10
  text $((x + 6)) $((y + 62)) 12 black "目前最低价格"
  box $((x + 82)) $((y + 50)) 92 16 white; text $((x + 85)) $((y + 63)) 11 black "93600 至 93900"
  text $((x + 6)) $((y + 84)) 12 black "您申请的价格"
  box $((x + 82)) $((y + 72)) 92 16 "#7fd87f"; text $((x + 86)) $((y + 85)) 12 black "94200"
  box $((x + 6)) $((y + 94)) 168 16 white; text $((x + 10)) $((y + 107)) 12 "#d00000" "目前软件工作正常DP"
  box $((x + 6)) $((y + 118)) 82 56 none "#a0a0a0"; text $((x + 10)) $((y + 130)) 11 black "读取左边最低价"
  box $((x + 92)) $((y + 118)) 82 56 none "#a0a0a0"; text $((x + 96)) $((y + 130)) 11 black "选择策略"
  box $((x + 96)) $((y + 138)) 74 16 white; text $((x + 100)) $((y + 151)) 11 black "策略03  ▼"
  button $((x + 6)) $((y + 182)) 52 18 "智能校正" 10
  button $((x + 62)) $((y + 182)) 52 18 "人工校正" 10
  button $((x + 118)) $((y + 182)) 56 18 "打开日志" 10
  box $((x + 6)) $((y + 208)) 168 44 none "#a0a0a0"; text $((x + 10)) $((y + 220)) 11 black "第二次申请设置"
  text $((x + 10)) $((y + 236)) 11 black "[√] 离拍牌结束 [10]秒时自动申请"
  text $((x + 10)) $((y + 249)) 11 black "(●) 最低成交价 + [700]"
  box $((x + 6)) $((y + 258)) 168 44 none "#a0a0a0"; text $((x + 10)) $((y + 270)) 11 black "第三次申请设置"
  text $((x + 10)) $((y + 286)) 11 black "[√] 离拍牌结束 [8]秒时自动申请"
  text $((x + 10)) $((y + 299)) 11 black "(●) 最低成交价 + [800]"
  box $((x + 6)) $((y + 308)) 168 40 none "#a0a0a0"; text $((x + 10)) $((y + 320)) 11 black "依据上涨情况判断提交"
  text $((x + 10)) $((y + 336)) 11 black "[  ] 55上涨差400延 0.5 ,≤ 600"
  box $((x + 6)) $((y + 354)) 168 44 none "#a0a0a0"; text $((x + 10)) $((y + 366)) 11 black "差额提交与强制提交"
  text $((x + 10)) $((y + 382)) 11 black "[√] 11:29:59.1 强制提交"
  text $((x + 10)) $((y + 395)) 11 black "[  ] 软件分析申请价格"
}

# The settings group of a scheduled bid, enlarged: bid_group TITLE SECONDS CLOCK AMOUNT
bid_group() {
  box 30 80 320 150 "#f0f0f0" "#808080"; text 40 100 15 black "$1"
  text 44 136 15 black "[√] 离拍牌结束"; box 150 120 40 24 white; text 158 138 15 black "$2"
  text 198 136 15 black "秒时自动申请"; text 300 136 14 "#0000ff" "$3"
  text 44 176 15 black "(●) 最低成交价 +"; box 170 160 60 24 white; text 178 178 15 black "$4"
  text 44 214 15 black "[  ] 补档"
}

# The information bar under the console at X,Y.
info_bar_mock() {  # X Y HEADER BODY [WIDTH]
  box "$1" "$2" "${5:-180}" 44 "#f0f0f0" "#404040"
  text $(($1 + 6)) $(($2 + 18)) 12 "#d00000" "$3"
  text $(($1 + 6)) $(($2 + 36)) 12 "#008000" "$4"
}

# ---- 1: what the program does
page 1 "欢迎使用 Kestrava 沪牌拍牌助手"
box 30 80 150 70 "#e8f0fb" "#1d5fa8"; text 58 112 18 black "登录窗口"; text 46 136 13 "#404040" "输入8位投标号"
box 285 80 150 70 "#e8f0fb" "#1d5fa8"; text 318 112 18 black "帮助手册"; text 305 136 13 "#404040" "就是这十页说明"
box 540 80 150 70 "#e8f0fb" "#1d5fa8"; text 580 112 18 black "控制台"; text 556 136 13 "#404040" "看价、出价、提交"
arrow 182 115 282 115; arrow 437 115 537 115
box 540 175 150 56 "#fff6d8" "#c08000"; text 556 200 15 black "国拍页面窗口"; text 556 220 12 "#404040" "由 Sorrelpane 显示"
arrow 615 152 615 172
note 30 280 "● 修改阶段（11:00:01 – 11:30:00）软件替您读取最低成交价、看准时间出价。"
note 30 312 "● 您只做一件事：看到验证码后输入验证码，然后按一次回车键。"
note 30 344 "● 软件在价格进入差额范围时替您点击“确定”，抢在最后时刻提交。"
note 30 376 "● 第一次使用请先点“模拟拍牌登录”练习，熟悉后再在拍牌当天正式使用。"
note 30 408 "● 下面九页依次介绍：登录、控制台、出价设置、回车提交、策略与模拟练习。"
save 01

# ---- 2: the login dialog
page 2 "第1步：登录窗口"
x=40; y=64
box $x $y 270 340 "#f0f0f0" "#404040"
box $x $y 270 20 "#1d5fa8" "#1d5fa8"; text $((x + 6)) $((y + 15)) 12 white "Vonter沪牌抢拍助手 8.2.Ravedadi"
text $((x + 10)) $((y + 92)) 20 black "投标号"; box $((x + 80)) $((y + 72)) 176 28 white; text $((x + 86)) $((y + 94)) 20 black "12345678"
text $((x + 6)) $((y + 134)) 18 black "第1步."; button $((x + 80)) $((y + 116)) 176 28 "检测软件兼容性"
text $((x + 6)) $((y + 182)) 18 black "第2步."; button $((x + 80)) $((y + 160)) 176 38 "模拟拍牌登录 (平时练习使用)" 12
text $((x + 6)) $((y + 236)) 18 black "第3步."; button $((x + 80)) $((y + 214)) 176 38 "正式拍牌登录 (拍牌当天使用)" 12
button $((x + 10)) $((y + 272)) 118 22 "密码与身份证号"; button $((x + 138)) $((y + 272)) 118 22 "版本号 8.2"
text $((x + 10)) $((y + 322)) 12 "#0000ff" "通知栏：点击打开下载页面"
callout 1 $((x + 262)) $((y + 86)); callout 2 $((x + 262)) $((y + 130)); callout 3 $((x + 262)) $((y + 179))
callout 4 $((x + 262)) $((y + 233)); callout 5 $((x + 24)) $((y + 302))
note 350 120 "① 输入标书上的8位投标号，只能输入数字。"
note 350 160 "② 拍牌前先检测：国拍页面打开后检查"
note 372 184 "软件能否看清页面。"
note 350 224 "③ 平时练习：打开模拟拍卖页面。"
note 350 264 "④ 拍牌当天：打开真实国拍页面。"
note 350 304 "⑤ 保存标书密码和身份证号，"
note 372 328 "页面登录时自动填写（只存在本机）。"
note 350 380 "登录后软件会记住投标号和您选择的模式。"
save 02

# ---- 3: the console at a glance
page 3 "控制台一览：左侧窄栏，始终在最前面"
console_mock 24 52
callout 1 214 86; callout 2 214 110; callout 3 214 132; callout 4 214 154; callout 5 214 196; callout 6 214 240
note 240 92 "① 拍卖剩余时间：离拍卖结束还有多少时间。"
note 240 124 "② 目前最低价格：从页面上读出的最低成交价。"
note 240 156 "③ 您申请的价格：底色表示与最低价的差距，"
note 262 180 "绿色 = 在可成交范围内，红色/黄色 = 还差得远。"
note 240 212 "④ 状态行：软件正在做什么。"
note 240 244 "⑤ 选择策略：二十套策略任选，改完点“保存策略”。"
note 240 276 "⑥ 智能校正 / 打开日志。"
note 240 330 "控制台下方紧贴着“软件信息提示”栏（见第10页）：红字提醒您动手，"
note 240 354 "绿字告诉您软件正在做的事。"
note 240 400 "控制台不接收键盘：回车、Esc、F3 由软件在后台读取。"
save 03

# ---- 4: opening the page and calibrating
page 4 "打开国拍页面与智能校正"
box 300 64 390 250 "#ffffff" "#404040"; box 300 64 390 20 "#1d5fa8" "#1d5fa8"
text 306 79 12 white "客车额度拍卖InternetExplorer"
text 318 120 15 black "国拍页面"; box 600 96 70 22 "#e6ffe6" "#2a8a2a"; text 610 112 12 "#1a7a1a" "● 网络正常"
text 318 160 13 "#404040" "目前最低成交价：93600"
box 318 200 120 24 white; text 324 217 13 "#808080" "输入价格"; button 450 200 60 24 "出价"
console_mock 24 52
arrow 186 86 296 100
arrow 80 242 640 108
callout 1 290 128; callout 2 290 168
note 232 346 "① 点“打开国拍”（模拟时为“打开模拟”），国拍页面"
note 254 370 "在 Sorrelpane 窗口里打开，不要让别的窗口挡住它。"
note 232 402 "② 页面登录后软件自动“智能校正”：找到绿色网络图标，"
note 254 426 "据此算出价格框、出价和确定按钮的位置。"
save 04

# ---- 5: second bid
page 5 "第二次出价：设置时间与加价"
bid_group "第二次申请设置" 10 "11:29:50" 700
callout 1 30 130; callout 2 30 170; callout 3 30 208
note 380 104 "① 勾选后，软件在离结束这么多秒时自动出价，"
note 402 128 "蓝色时间就是出价时刻。"
note 380 168 "② 出价金额 = 当时的最低成交价 + 这里的加价。"
note 402 192 "加价越多越稳，但成交价可能更高。"
note 380 232 "③ 补档：价格档位不够时自动补足。"
note 30 290 "到点后软件自动：输入价格 → 点加价 → 点“出价” → 弹出验证码框。"
note 30 322 "这时信息栏提示您输入验证码：请立刻输入，然后按一次回车。"
note 30 354 "数字框右边的小箭头可以微调，改好后点“保存策略”记住设置。"
save 05

# ---- 6: third bid
page 6 "第三次出价：最后的机会"
bid_group "第三次申请设置" 8 "11:29:52" 800
note 380 104 "第三次出价的设置和第二次相同。"
note 380 136 "一般第三次比第二次更晚、加价更多："
note 380 168 "最后几秒价格上涨最快。"
box 30 260 660 150 "#fff6d8" "#c08000"
text 44 290 16 "#a05000" "时间线（结束时刻 11:30:00）"
ops+=(-stroke "#404040" -strokewidth 2 -draw "line 60,350 660,350")
for i in 0 1 2 3 4 5; do
  xi=$((60 + i * 120)); ops+=(-stroke "#404040" -strokewidth 1 -draw "line $xi,344 $xi,356")
done
text 40 378 13 black "11:29:00"; text 270 378 13 black "11:29:30"; text 516 378 13 black "11:29:50"
text 610 378 13 black "11:30:00"
arrow 540 320 540 344; text 500 314 13 "#d00000" "第二次 50秒"
arrow 588 330 588 344; text 590 324 13 "#d00000" "第三次 52秒"
save 06

# ---- 7: the verification code and Enter
page 7 "输入验证码，按一次回车：软件替您点“确定”"
y=70
for step in "软件填价并点“出价”" "页面弹出验证码框" "您输入验证码" "按一次回车键" "软件等价格进入范围后点“确定”"; do
  box 30 $y 300 40 "#e8f0fb" "#1d5fa8"; text 44 $((y + 26)) 15 black "$step"
  [ $y -lt 300 ] && arrow 180 $((y + 41)) 180 $((y + 58))
  y=$((y + 62))
done
box 360 70 330 110 "#ffffe1" "#767676"
text 376 100 15 black "“回车”指令已生效，请等待，"
text 376 126 15 black "现在不要用鼠标点“确定”，"
text 376 152 15 black "软件会稍后提交"
text 360 202 14 "#606060" "↑ 按回车后页面旁出现这个提示气泡"
note 360 246 "回车 Enter：开启智能提交（只按一次）"
note 360 278 "Ctrl + 回车：立即提交，不再等待"
note 360 310 "Esc：撤销验证码框，重新申请"
note 360 342 "F3：修改阶段测试，加价3000，3秒后"
note 382 366 "验证码框自动关闭"
note 360 410 "千万不要用鼠标点“确定”！"
save 07

# ---- 8: strategies and submission rules
page 8 "策略：什么时候提交"
box 30 64 330 112 "#f0f0f0" "#808080"; text 40 84 14 black "依据上涨情况判断提交"
text 44 110 13 black "[√] 55上涨差400延 0.5 ,≤ [600] 延0.7"
text 44 134 13 black "[√] 56上涨差400延 0.1 ,≤ [600] 延0.5"
text 44 158 13 black "[  ] 57 / 58 同上"
box 30 190 330 120 "#f0f0f0" "#808080"; text 40 210 14 black "差额提交与强制提交"
text 44 236 13 black "倒数 [15] 后，当申请价格与最低价"
text 44 258 13 black "差额是 [300] 时延迟 [0.2] 秒自动提交"
text 44 280 13 black "[√] 11:29:59.1 强制提交   [  ] 兼顾电脑时间"
text 44 302 13 black "[  ] 软件分析申请价格   [  ] 智能分析提交"
note 380 88 "● 上涨规则：最后几秒价格涨得快时，"
note 402 112 "按设定的延迟提前提交。"
note 380 150 "● 差额提交：您的价格与最低价相差在"
note 402 174 "设定范围内时，延迟片刻后提交。"
note 380 212 "● 强制提交：到设定时刻无论差额多少都提交，"
note 402 236 "建议不早于58秒。"
note 380 274 "● 软件分析申请价格：倒数35秒和8秒时"
note 402 298 "依据历史走势自动申请（不保证准确）。"
box 30 330 660 86 "#e8f0fb" "#1d5fa8"
text 44 358 15 black "策略01 … 策略20：在“选择策略”里切换，每套策略单独保存。"
text 44 388 15 black "改动任何数字后点“保存策略”，下次启动自动使用所选策略。"
save 08

# ---- 9: practice mode
page 9 "模拟练习：和正式拍牌一模一样的操作"
y=70
for step in "登录窗口点“模拟拍牌登录”" "控制台点“打开模拟”" "模拟页面登录后点“开始模拟”" "约190秒的模拟拍卖开始" "按提示输入验证码，按回车"; do
  box 30 $y 300 40 "#e6f5e6" "#2a8a2a"; text 44 $((y + 26)) 15 black "$step"
  [ $y -lt 300 ] && arrow 180 $((y + 41)) 180 $((y + 58))
  y=$((y + 62))
done
note 360 96 "● 模拟页面的价格和时间是演练用的，"
note 382 120 "整场约三分钟，可以反复练。"
note 360 160 "● 勾选“语音”可以听到开始、出价和"
note 382 184 "提交的语音提示。"
note 360 224 "● 模拟时控制台多一个“开始模拟”按钮，"
note 382 248 "“打开国拍”变为“打开模拟”。"
note 360 288 "● 练到能在几秒内输完验证码并按回车，"
note 382 312 "再在拍牌当天用“正式拍牌登录”。"
note 360 360 "● 日志会记录每一次模拟，可点“打开日志”"
note 382 384 "查看软件在哪一秒做了什么。"
save 09

# ---- 10: info bar, balloons, log
page 10 "信息提示栏、提示气泡与日志"
info_bar_mock 30 70 "提示：已进入投标竞拍，拍牌尚未开始" "请等待！软件在等待价格上涨，然后依据参数来提交。" 330
note 380 98 "← 控制台下方的信息提示栏"
note 30 150 "上面一行（提示）：红色 = 需要您动手，黑色 = 说明，蓝色 = 状态。"
note 30 180 "下面一行（进度）：红色 = 重要动作，绿色 = 软件正在处理。"
box 30 206 330 60 "#ffffe1" "#767676"; text 44 244 17 black "依据设置开始强制提交,软件点击确定"
note 380 234 "← 页面旁的提示气泡，几秒后自动消失"
note 30 306 "● “打开日志”：每一步都记在 Log 文件夹里当天的日志中，"
note 52 330 "拍牌结束后可以对照检查。"
note 30 370 "● 页面被关掉了？信息栏会提示点“打开国拍”，软件不会丢失设置。"
box 230 396 260 40 "#1d5fa8" "#1d5fa8"; text 250 422 17 white "点“下一步”进入控制台 →"
save 10
echo "help pages written to $(pwd)"
