#!/usr/bin/env bash
# Builds vorla and runs the demo: vorla-cli, standing in for the hospital's
# program, sends requests through the library's exports; vorla-sim, started on a
# free port of 127.0.0.1, stands in for the insurance center. Two transactions go
# end to end (an I1 query and a D1 registration), the answers and the journal
# files they wrote are shown, and the simulator is stopped again.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target vorla vorla-cli vorla-sim vorla_drivers

demo=$PWD/build/demo
rm -rf "$demo" && mkdir -p "$demo/system" "$demo/scenario" "$demo/record" "$demo/journal"
export VORLA_SYSTEM_DIR="$demo/system"   # vorla.ini lives here
cli=build/vorla-cli
hid=10010001
ip=10.1.1.1

# ---- the simulated insurance center --------------------------------------------
build/vorla-sim --port 0 --scenario "$demo/scenario" --record "$demo/record" >"$demo/sim.out" 2>"$demo/sim.err" &
sim_pid=$!
stop_sim() {
  if [ -n "${sim_pid:-}" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=
  fi
}
trap stop_sim EXIT
port=
for _ in $(seq 1 100); do
  port=$(sed -n 's/^listening on \([0-9][0-9]*\)$/\1/p' "$demo/sim.out")
  [ -n "$port" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "vorla-sim did not start:" >&2
  cat "$demo/sim.err" >&2
  exit 1
fi
center="http://127.0.0.1:$port/RemoteFacedeBean/RemoteFacedeBeanService?WSDL"
echo "== vorla-sim listens on 127.0.0.1:$port"

# The center's answers for the two transactions (GBK documents, as a center sends them).
to_gbk() { iconv -f UTF-8 -t GBK; }
today=$(date +%Y%m%d)
# I1: a person insured under three insurance types (390, 310, 330).
cp tools/sim/scenarios/insured-query/I1.xml "$demo/scenario/I1.xml"
to_gbk >"$demo/scenario/D1.xml" <<EOF
<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>D1</APP><WorkDate>$today</WorkDate><Reserve></Reserve><ErrCode>0</ErrCode><ErrDetail>登记成功</ErrDetail></HEAD><MSG><HEAD><YBLSH>YB${today}0001</YBLSH></HEAD></MSG></DATA>
EOF
# Trailing newline of the heredocs: a center's answer ends at </DATA>.
for f in "$demo/scenario/D1.xml"; do printf '%s' "$(cat "$f")" >"$f"; done

# ---- the demo vorla.ini: center address, journal in save mode "0", monitoring on --
# (every other key gets its default written back at the first call)
{
  printf '[医保交易地址]\n医保交易地址=%s\n' "$center"
  printf '[医保交易日志]\n医保交易保存路径=%s\n' "$demo/journal"
  printf '%s=0\n' '医保交易保存模式(0 路径\\医院代码\\日期\\发起IP\\交易时间.txt , 1 路径\\医院代码\\日期\\发起IP\\日期.txt , 2 路径\\医院代码\\日期.TXT )'
  printf '[医保监控]\n医保监控地址=http://127.0.0.1:%s/his/realcheck/audit\n是否启用医保监控=true\n' "$port"
  printf '[鉴权系统地址]\n鉴权系统地址=http://127.0.0.1:%s/galdo_mis_outland/outland/biz\n' "$port"
} | sed 's/$/\r/' | to_gbk >"$VORLA_SYSTEM_DIR/vorla.ini"

# ---- the requests ------------------------------------------------------------------
failures=0
# run EXPECTED_EXIT_CODE TITLE CLI-ARGUMENTS...
run() {
  local expected=$1 title=$2; shift 2
  echo
  echo "== $title"
  set +e; "$cli" --utf8 "$@"; local rc=$?; set -e
  echo
  if [ "$rc" -eq "$expected" ]; then
    echo "   (exit code $rc, as expected)"
  else
    echo "   (exit code $rc, expected $expected)"
    failures=$((failures + 1))
  fi
}

run 1 "a function name other than bizbuss is rejected" "{functionname:'BizBuss',params:{}}"
run 1 "a missing parameter is answered with an error document" \
  "{functionname:'bizbuss',params:{hid:'$hid',biztype:'C0',indata:'x'}}"

i1='<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>01.01</VER><APP>I1</APP><WorkDate>'$today'</WorkDate><Reserve></Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail></HEAD><MSG><HEAD><YLJGDM>'$hid'</YLJGDM><DKLX>1</DKLX><SBKH>A00012345</SBKH><SFZH>110101199001011234</SFZH><RYXM>张三</RYXM><JYRQ>'$today'</JYRQ><MZZYBZ>0</MZZYBZ></HEAD></MSG></DATA>'
run 0 "I1 insured-person query, relayed to the center (vorla-sim)" \
  "{functionname:'bizbuss',params:{hid:'$hid',biztype:'I1',ip:'$ip',indata:'$i1'}}"

d1='<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>D1</APP><WorkDate>'$today'</WorkDate><Reserve></Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail></HEAD><MSG><HEAD><YLJGDM>'$hid'</YLJGDM><YYLSH>MZ0001</YYLSH><SHBZH>110101199001011234</SHBZH><SBKH>A00012345</SBKH><SFZH>110101199001011234</SFZH><RYXM>张三</RYXM><MZZYBZ>0</MZZYBZ><XZDM>310</XZDM><YLLB>11</YLLB><RYRQ>'$today'093000</RYRQ><KSDM>101</KSDM><CZYXM>收费员</CZYXM></HEAD></MSG></DATA>'
run 0 "D1 registration, relayed through tembro_invoke" --export tembro_invoke \
  "{functionname:'bizbuss',params:{hid:'$hid',biztype:'D1',ip:'$ip',indata:'$d1'}}"

c0='<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>C0</APP></HEAD><MSG><HEAD><YLJGDM>'$hid'</YLJGDM></HEAD></MSG></DATA>'
run 0 "a business type without a scenario entry: the simulator's success answer, through node_invoke (Base64 decoded by the cli)" \
  --export node_invoke "{functionname:'bizbuss',params:{hid:'$hid',biztype:'C0',ip:'$ip',indata:'$c0'}}"
run 0 "the same through nodeaddon_invoke (UTF-8 answer)" --export nodeaddon_invoke \
  "{functionname:'bizbuss',params:{hid:'$hid',biztype:'C0',ip:'$ip',indata:'$c0'}}"

# ---- at the cashier's desk: card reading, the query with choices, J4, J10 --------------
# The cashier is scripted (one script per call: every vorla-cli run is a new
# process, and a script is read from its top in each process) and the card reader
# is the simulated driver (build/drivers).
cat >"$demo/cashier-j1.script" <<'EOF'
# J1: the cashier keeps 社会保障卡[&1] and presses OK
card_type ok
EOF
cat >"$demo/cashier-j2.script" <<'EOF'
# J2: social security card, then the settlement choices
card_type choose 0
card_type ok
settlement choose 390^城乡居民基本医疗保险
settlement ok
EOF
printf 'iReadCardBas.text = 640100|640102199001011223|C0001|K0001|张三|A1|3.00|20180101|20280101|T1|D1|\n' \
  >"$demo/drivers.scenario"
export VORLA_CASHIER="$demo/cashier-j1.script" VORLA_DRIVER_SCENARIO="$demo/drivers.scenario"
export LD_LIBRARY_PATH="$PWD/build/drivers${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"

j1='<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J1</APP><WorkDate>'$today'</WorkDate></HEAD><MSG><HEAD><PWD>1</PWD></HEAD></MSG></DATA>'
run 0 "J1: card type dialog (scripted cashier), social security card read through the simulated driver" \
  "{functionname:'bizbuss',params:{hid:'$hid',biztype:'J1',ip:'$ip',indata:'$j1'}}"
run 0 "J8: the social security card read directly, no dialog" \
  "{functionname:'bizbuss',params:{hid:'$hid',biztype:'J8',ip:'$ip',indata:'${j1//J1/J8}'}}"

export VORLA_CASHIER="$demo/cashier-j2.script"
j2='<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J2</APP><WorkDate>'$today'</WorkDate></HEAD><MSG><HEAD><YLJGDM>'$hid'</YLJGDM><JYRQ>'$today'</JYRQ><MZZYBZ>0</MZZYBZ><ZXBXBZ>0</ZXBXBZ><ZHCXBZ>1</ZHCXBZ><FROM>TALVIK</FROM></HEAD></MSG></DATA>'
run 0 "J2: card, I1 through the center, the cashier chooses 390 in the settlement choices dialog" \
  "{functionname:'bizbuss',params:{hid:'$hid|abc',biztype:'J2',ip:'$ip',indata:'$j2'}}"

j11='<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J11</APP></HEAD><MSG><HEAD><YLJGDM>'$hid'</YLJGDM><BIZ>BIZ001</BIZ><V1>QR-DEMO-0001</V1><V2>0</V2></HEAD></MSG></DATA>'
run 0 "J11: an electronic social security card code resolved at the center, then its I1 query, no dialogs" \
  "{functionname:'bizbuss',params:{hid:'$hid|abc',biztype:'J11',ip:'$ip',indata:'$j11'}}"
unset VORLA_CASHIER VORLA_DRIVER_SCENARIO

j4='<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J4</APP></HEAD><MSG><HEAD><YLJGDM>'$hid'</YLJGDM></HEAD></MSG></DATA>'
run 0 "J4: the workstation's address" \
  "{functionname:'bizbuss',params:{hid:'$hid',biztype:'J4',ip:'$ip',indata:'$j4'}}"

printf 'scanned referral letter\n' >"$demo/referral.txt"
j10='<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J10</APP></HEAD><MSG><HEAD><YLJGDM>'$hid'</YLJGDM><POSTURL>http://127.0.0.1:'$port'/upload</POSTURL><FILENAME>'$demo'/referral.txt</FILENAME><NAME>referral</NAME></HEAD></MSG></DATA>'
run 0 "J10: a file uploaded to the address named in the request" \
  "{functionname:'bizbuss',params:{hid:'$hid',biztype:'J10',ip:'$ip',indata:'$j10'}}"

# ---- J9: invoices of finished settlements, previewed and printed (PDFs by the script) --
cp templates/kwmzfp.rmf templates/kwzyfp.rmf "$VORLA_SYSTEM_DIR/"   # the templates live beside vorla.ini
printf 'preview pdf %s\n' "$demo/invoice-outpatient.pdf" >"$demo/cashier-j9.script"
export VORLA_CASHIER="$demo/cashier-j9.script"
j9='<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J9</APP></HEAD><MSG><HEAD><YLJGDM>'$hid'</YLJGDM><YYLSH>MZ0001</YYLSH><YBLSH>MZ'$today'0001</YBLSH><TFBZ>0</TFBZ><DISPLAY>1</DISPLAY></HEAD></MSG></DATA>'
run 0 "J9: the outpatient invoice fetched from the center's invoice action and previewed" \
  "{functionname:'bizbuss',params:{hid:'$hid',biztype:'J9',ip:'$ip',indata:'$j9'}}"
unset VORLA_CASHIER
if [ -s "$demo/invoice-outpatient.pdf" ]; then
  echo "   invoice written: $demo/invoice-outpatient.pdf; its text begins:"
  pdftotext -layout "$demo/invoice-outpatient.pdf" - 2>/dev/null | sed -n '1,12p' | sed 's/^/   | /'
else
  echo "   no invoice PDF was written"
  failures=$((failures + 1))
fi

printf 'print pdf %s\n' "$demo/invoice-inpatient.pdf" >"$demo/cashier-j9-zy.script"
export VORLA_CASHIER="$demo/cashier-j9-zy.script"
j9zy='<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>J9</APP></HEAD><MSG><HEAD><YLJGDM>'$hid'</YLJGDM><YYLSH>ZY0001</YYLSH><YBLSH>ZY'$today'0001</YBLSH><TFBZ>0</TFBZ><DISPLAY>0</DISPLAY></HEAD></MSG></DATA>'
run 0 "J9: the inpatient invoice, printed (the script's print dialog writes the PDF)" \
  "{functionname:'bizbuss',params:{hid:'$hid',biztype:'J9',ip:'$ip',indata:'$j9zy'}}"
unset VORLA_CASHIER
if [ -s "$demo/invoice-inpatient.pdf" ]; then
  echo "   invoice written: $demo/invoice-inpatient.pdf"
else
  echo "   no inpatient invoice PDF was written"
  failures=$((failures + 1))
fi

# ---- monitoring: the D1 above was stored; fee details, then the settlement's audit --------
e1='<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>E1</APP></HEAD><MSG><HEAD><YLJGDM>'$hid'</YLJGDM><YYLSH>MZ0001</YYLSH><YBLSH>YB'$today'0001</YBLSH></HEAD><DETAIL><MXLSH>1</MXLSH><XMBJ>1</XMBJ><YBXMDM>X001</YBXMDM><SFRQ>'$today'093500</SFRQ><FYDJ>12.5</FYDJ><FYSL>2</FYSL><FYJE>25</FYJE><YSDM>D01</YSDM><KSDM>101</KSDM><CZYXM>收费员</CZYXM></DETAIL></MSG></DATA>'
run 0 "E1: fee details relayed, then kept in the local store" \
  "{functionname:'bizbuss',params:{hid:'$hid',biztype:'E1',ip:'$ip',indata:'$e1'}}"
f1='<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>F1</APP></HEAD><MSG><HEAD><YLJGDM>'$hid'</YLJGDM><YYLSH>MZ0001</YYLSH><YBLSH>YB'$today'0001</YBLSH><SHBZH>110101199001011234</SHBZH><CYZDBM>J00</CYZDBM><CZYXM>收费员</CZYXM></HEAD></MSG></DATA>'
run 0 "F1: the audit request goes to the monitoring service, then the settlement is relayed" \
  "{functionname:'bizbuss',params:{hid:'$hid',biztype:'F1',ip:'$ip',indata:'$f1'}}"
echo
echo "== the audit request the monitoring service received:"
if grep -q '"service":"monitor"' "$demo/record/requests.jsonl"; then
  grep '"service":"monitor"' "$demo/record/requests.jsonl" | head -n 1 | cut -c1-1500
else
  echo "   no audit request arrived"
  failures=$((failures + 1))
fi

# ---- what was written --------------------------------------------------------------
echo
echo "== the center received $(grep -c '"method":"POST"' "$demo/record/requests.jsonl") calls (record: $demo/record/requests.jsonl)"
sed -n 's/.*"arg1":"\([^"]*\)".*/   business type \1/p' "$demo/record/requests.jsonl"

echo
echo "== the journal (save mode 0: root/institution/caller IP/date/type-serial.txt): $demo/journal"
journal_count=0
while IFS= read -r f; do
  journal_count=$((journal_count + 1))
  echo "-- ${f#"$demo/journal/"}"
  iconv -f GBK -t UTF-8 "$f" | tr -d '\r'
  echo
done < <(find "$demo/journal" -type f | sort)
if [ "$journal_count" -eq 0 ]; then
  echo "   no journal file was written"
  failures=$((failures + 1))
fi

echo
echo "== the configuration after the first call: $VORLA_SYSTEM_DIR/vorla.ini"
iconv -f GBK -t UTF-8 "$VORLA_SYSTEM_DIR/vorla.ini" | tr -d '\r'

stop_sim
echo
if [ "$failures" -ne 0 ]; then
  echo "demo: $failures step(s) did not go as expected" >&2
  exit 1
fi
echo "demo finished: every step went as expected; vorla-sim stopped"
