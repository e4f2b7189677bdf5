'use strict';
// Test of the Node.js module against vorla-sim (run by ../run-test.sh).
const assert = require('node:assert/strict');
const { Vorla, errCode, bizbussRequest } = require('./index.js');

const name = process.env.VORLA_TEST_NAME;
const expect = process.env.VORLA_TEST_EXPECT;
const indata = '<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>I1</APP><WorkDate>20240131</WorkDate>' +
  `<Reserve></Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail></HEAD><MSG><HEAD><YLJGDM>10010001</YLJGDM><RYXM>${name}</RYXM></HEAD></MSG></DATA>`;

(async () => {
  const v = new Vorla(process.env.VORLA_LIBRARY);
  assert.equal(v.callSync("{functionname:'BizBuss'}"), "{returnCode:0,exception:'非法的函数名'}");
  const answer = v.bizbussSync({ hid: '10010001', biztype: 'I1', ip: '10.1.2.3', indata });
  assert.equal(errCode(answer), '0', answer);
  assert.ok(answer.includes(expect), answer);

  // Calls started together run one after the other, in the order they were made:
  // four I1 answered after 200 ms each take at least 800 ms in all.
  const order = [];
  const started = Date.now();
  const all = [1, 2, 3, 4].map((i) =>
    v.bizbuss({ hid: '10010001', biztype: 'I1', ip: '10.1.2.3', indata: indata.replace(name, name + i) }).then((a) => {
      assert.equal(errCode(a), '0');
      order.push(i);
    }));
  all.push(v.call(Buffer.from("{functionname:'x'}")).then((a) => assert.match(a, /非法的函数名/)));
  await Promise.all(all);
  assert.deepEqual(order, [1, 2, 3, 4]);
  assert.ok(Date.now() - started >= 800, `calls overlapped: ${Date.now() - started} ms`);
  assert.ok(bizbussRequest({ hid: "a'b", biztype: 'I1', ip: '', indata: 'x\\y' }).includes("hid:'a\\'b'"));
  v.close();
  console.log('node binding: ok');
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
