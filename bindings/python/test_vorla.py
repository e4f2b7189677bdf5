"""Test of the Python module against vorla-sim (run by ../run-test.sh)."""
import os
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vorla import Vorla, bizbuss_request, err_code  # noqa: E402

name = os.environ["VORLA_TEST_NAME"]
expect = os.environ["VORLA_TEST_EXPECT"]
indata = ('<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>I1</APP><WorkDate>20240131</WorkDate>'
          '<Reserve></Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail></HEAD><MSG><HEAD><YLJGDM>10010001</YLJGDM>'
          '<RYXM>%s</RYXM></HEAD></MSG></DATA>' % name)

v = Vorla()
assert v.call("{functionname:'BizBuss'}") == "{returnCode:0,exception:'非法的函数名'}"
assert v.call_gbk(b"{functionname:'x'}") == "{returnCode:0,exception:'非法的函数名'}".encode("gbk")
answer = v.bizbuss("10010001", "I1", "10.1.2.3", indata)
assert err_code(answer) == "0", answer
assert expect in answer, answer
# Calls from several threads are serialised by the object's lock.
answers = []
threads = [threading.Thread(target=lambda: answers.append(v.bizbuss("10010001", "I1", "10.1.2.3", indata)))
           for _ in range(4)]
for t in threads:
    t.start()
for t in threads:
    t.join()
assert len(answers) == 4 and all(err_code(a) == "0" for a in answers), answers
assert "hid:'a\\'b'" in bizbuss_request("a'b", "I1", "", "")
print("python binding: ok")
