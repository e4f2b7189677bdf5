#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (corpus/<target>/) by hand-made
examples; GBK where the input is GBK. Run from anywhere; overwrites the seeds."""
import base64
import os
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
DECL = '<?xml version="1.0" encoding="GBK"?>'


def put(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("gbk")
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def doc(app, head="", rows=(), err="0", detail="交易成功"):
    details = "".join("<DETAIL>%s</DETAIL>" % r for r in rows)
    return (DECL + "<DATA><HEAD><VER>01.01</VER><APP>%s</APP><WorkDate>20240131</WorkDate>"
            "<ErrCode>%s</ErrCode><ErrDetail>%s</ErrDetail></HEAD><MSG><HEAD>%s</HEAD>%s</MSG></DATA>"
            % (app, err, detail, head, details))


def invoke(biztype, indata, hid="10010001"):
    indata = indata.replace("'", "\\'")
    return "{functionname:'bizbuss',params:{hid:'%s',biztype:'%s',ip:'127.0.0.1',indata:'%s'}}" % (
        hid, biztype, indata)


I1_ROWS = [
    "<XZDM>310^职工基本医疗保险</XZDM><CBRQ>20100101</CBRQ><GRZHYE>123.45</GRZHYE>"
    "<JSJGDM>2640200^本级</JSJGDM><YLLB>11^普通门诊$14^门诊大病</YLLB>"
    "<JBMC>14|M001^高血压$14|M002^糖尿病$11|</JBMC><YBXX>提示-14|慢病$99|全部</YBXX>",
    "<XZDM>390^城乡居民基本医疗保险</XZDM><CBRQ></CBRQ><YLLB>14^门诊大病</YLLB>"
    "<JBMC>14|M003^肾透析</JBMC><JSJGDM>2640300^外地</JSJGDM>",
]
I1_HEAD = ("<YLJGDM>10010001</YLJGDM><SHBZH>110101199001011234</SHBZH><SBKH>K0001</SBKH>"
           "<SFZH>110101199001011234</SFZH><RYXM>张三</RYXM><RYXB>1</RYXB><CSRQ>19900101</CSRQ>")
I1_ANSWER = doc("I1", I1_HEAD, I1_ROWS)

# fuzz_invoke: requests of every route, relayed and local.
put("invoke", "j4", invoke("J4", doc("J4")))
put("invoke", "j1", invoke("J1", doc("J1", "<PWD>1</PWD>")))
put("invoke", "j2", invoke("J2", doc("J2", "<YLJGDM>10010001</YLJGDM><DKXXBZ>99</DKXXBZ><PWD>1</PWD>")))
put("invoke", "j9", invoke("J9", doc("J9", "<YLJGDM>10010001</YLJGDM><YYLSH>Z1</YYLSH><YBLSH>S1</YBLSH><DISPLAY>0</DISPLAY>")))
put("invoke", "j11", invoke("J11", doc("J11", "<YLJGDM>10010001</YLJGDM><BIZ>BIZ001</BIZ><V1>123</V1>")))
put("invoke", "j10", invoke("J10", doc("J10", "<POSTURL>http://127.0.0.1:9/up</POSTURL><FILENAME>/nonexistent</FILENAME>")))
put("invoke", "d1", invoke("D1", doc("D1", "<YLJGDM>10010001</YLJGDM><YYLSH>Z1</YYLSH><CSRQ>19900101</CSRQ><MZZYBZ>0</MZZYBZ>")))
put("invoke", "e1", invoke("E1", doc("E1", "<YLJGDM>10010001</YLJGDM>", ["<MXLSH>1</MXLSH><YBXMDM>A1</YBXMDM><SFRQ>20240131101010</SFRQ><FYDJ>1.5</FYDJ><FYSL>2</FYSL><FYJE>3</FYJE>"])))
put("invoke", "i1", invoke("I1", doc("I1", "<SFZH>110101199001011234</SFZH>")))
put("invoke", "rejected", "{functionname:'other'}")
put("invoke", "lenient", '{"functionname":"bizbuss","params":{"hid":10010001,"biztype":"J4","ip":"","indata":""}}')

# fuzz_beans: first byte picks the bean (catalogue order, see fuzz_beans.cpp).
put("beans", "j1_out", b"\x01" + doc("J1", "<DKLX>1</DKLX><FKRQ>20200102030405</FKRQ><CSRQ>19900101</CSRQ>"
                                     "<RYXM>李四</RYXM>").encode("gbk"))
put("beans", "j2_out_rows", b"\x03" + doc("J2", I1_HEAD, I1_ROWS).encode("gbk"))
put("beans", "i1_out", b"\x0e" + I1_ANSWER.encode("gbk"))
put("beans", "e1_in", b"\x11" + doc("E1", "<YLJGDM>1</YLJGDM>", ["<MXLSH>1</MXLSH><SFRQ>20240131</SFRQ><FYDJ>1.5E-7</FYDJ><FYSL>3</FYSL>", "<DETAIL/>"]).encode("gbk"))
put("beans", "bad_int", b"\x11" + doc("E1", "", ["<SFRQ>2024x</SFRQ>"]).encode("gbk"))
put("beans", "truncated", b"\x0e" + I1_ANSWER.encode("gbk")[:150])

# fuzz_unpack: packed texts as the center sends them.
def packed(text, width=76, sep="\r\n"):
    b = base64.b64encode(zlib.compress(text.encode("gbk")))
    return sep.join(b[i:i + width].decode() for i in range(0, len(b), width)).encode()

put("unpack", "answer", packed(I1_ANSWER))
put("unpack", "lf_lines", packed(doc("D1"), 60, "\n"))
put("unpack", "blanks", packed("x" * 300, 10, " \t"))
put("unpack", "empty", b"")
put("unpack", "truncated", packed(I1_ANSWER)[:80])

# fuzz_cardtext: driver card texts and HSM step-1 texts.
put("cardtext", "card", "640100|110101199001011234|K0001|ID01|张三|RST|3.00|20200101|20300101|T01|D01|")
put("cardtext", "card_crlf", "640100\r\n110101200002291236\r\nK2|ID|王五||2.0|||T|D\n")
put("cardtext", "short", "640100|1|2|")
put("cardtext", "step1", "0|kfw|1|SBK|gcyz|xx|gcyz2|xx2|")

# fuzz_settlement: click count, clicks, I1 answer.
put("settlement", "no_clicks", b"\x00" + I1_ANSWER.encode("gbk"))
put("settlement", "clicks", bytes([6, 0x01, 0x40, 0x41, 0x80, 0x81, 0xc0]) + I1_ANSWER.encode("gbk"))
put("settlement", "no_rows", b"\x01\x40" + doc("I1", I1_HEAD).encode("gbk"))
put("settlement", "bad_cbrq", b"\x00" + doc("I1", I1_HEAD, ["<XZDM>310^x</XZDM><CBRQ>2010</CBRQ>"]).encode("gbk"))
put("beans", "j11_in_ints", b"\x0c" + doc("J11", "<BIZ>BIZ001</BIZ><INT1>-2147483647</INT1><int2>+7</int2><INT3>x</INT3>").encode("gbk"))

# fuzz_answers: reader (0 e-voucher, 1 qrcode, 2 upload, 3 outpatient invoice,
# 4 inpatient invoice), then the service's answer (GBK).
put("answers", "evoucher", b"\x00" + '0^^{"data":{"idNo":"110101199001011234","userName":"张三","idType":"01","ecToken":"T1","insuOrg":"640100","ecIndexNo":"E1","chnlId":"C1"}}'.encode("gbk"))
put("answers", "evoucher_fail", b"\x00" + "-3^^网络异常".encode("gbk"))
put("answers", "qrcode", b"\x01" + '{"result_code":"100","result_data":{"head":{"sbkid":"K1","fkxzqh":"640100","sbkh":"C1","sfzh":"110101199001011234","ryxm":"张三"}}}'.encode("gbk"))
put("answers", "qrcode_refused", b"\x01" + '{"result_code":"101","result_exception":{"message":"无效的二维码"}}'.encode("gbk"))
put("answers", "upload", b"\x02" + '{"code":0,"msg":"成功","data":{"url":"http://h/f.pdf"}}'.encode("gbk"))
put("answers", "outpatient", b"\x03" + (
    '{"result_code":"100","result_exception":"","result_data":{"aae601":"0","ake010":"2024-05-06 09:30:15",'
    '"akc190":"MZ1","akc191":"Z1","akc264":256.5,"akc087":1000,"ake306":100.5,"ake307":96,"ake300":60,'
    '"akb021":"银川市第一人民医院","aae072":"20240506001","aae011":"收费员甲","aac003":"张三","aac004":"1",'
    '"aae140":"310^职工基本医疗保险","aka130":"11^普通门诊","fygclist":[{"gclb":"11^西药","gcze":120.5},'
    '{"gclb":"92^挂号费","gcze":20}],"kc62list":[{"bka157":"23103^基本统筹","aae019":60}]}}').encode("gbk"))
put("answers", "inpatient", b"\x04" + (
    '{"result_code":"100","result_data":{"aae601":"1","ake010":"2024-05-20 10:12:00","akc190":"ZY1",'
    '"akc264":12345.67,"akc087":5000,"ake306":1000,"ake307":2345.67,"ake300":9000,"akb021":"银川市第一人民医院",'
    '"aab034":"银川市","aac003":"李四","aac004":"2","bkc192":"2024-05-10 08:00:00","bkc194":"2024-05-20 09:00:00",'
    '"fygclist":[{"gclb":"34^床位费","gcze":600}],"kc62list":[{"bka157":"51101^民政救助","aae019":200}]}}').encode("gbk"))
