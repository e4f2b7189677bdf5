'use strict';
// vorla for Node.js and Electron: wraps the library's nodeaddon_invoke export
// through koffi (an FFI package with prebuilt binaries, nothing compiled).
//
// A request is given as a JavaScript string (or as GBK bytes in a Buffer); it is
// encoded to GBK, passed to nodeaddon_invoke with a zero-filled answer buffer,
// and the answer (Base64 of the UTF-8 answer followed by one zero byte) is
// decoded back into a JavaScript string.
//
// The library must not be entered by two calls at once: call() queues the calls
// of one Vorla object so that each starts after the previous one has finished.
// Use one Vorla object per process.
const koffi = require('koffi');
const iconv = require('iconv-lite');

// 8 MiB: the library cannot be told the buffer's size and writes the whole answer.
const DEFAULT_BUFFER_SIZE = 8 * 1024 * 1024;

function defaultLibraryPath() {
  if (process.env.VORLA_LIBRARY) return process.env.VORLA_LIBRARY;
  return process.platform === 'win32' ? 'vorla.dll' : 'libvorla.so';
}

// The invoke request text for one business call.
function bizbussRequest({ hid, biztype, ip, indata }) {
  const quote = (v) => "'" + String(v ?? '').replace(/\\/g, '\\\\').replace(/'/g, "\\'") + "'";
  return `{functionname:'bizbuss',params:{hid:${quote(hid)},biztype:${quote(biztype)},ip:${quote(ip)},indata:${quote(indata)}}}`;
}

// ErrCode of a transaction document, or '' when it has none.
function errCode(answer) {
  const m = /<ErrCode>([^<]*)<\/ErrCode>/.exec(answer);
  return m ? m[1] : '';
}

// The request as zero-terminated GBK bytes.
function encodeRequest(request) {
  const gbk = Buffer.isBuffer(request) ? request : iconv.encode(String(request), 'gbk');
  return Buffer.concat([gbk, Buffer.from([0])]);
}

// nodeaddon_invoke's answer: four spaces overwritten by Base64 of the UTF-8
// answer and one zero byte, no terminator (the buffer was zero-filled).
function decodeAnswer(answer) {
  let end = answer.indexOf(0);
  if (end < 0) end = answer.length;
  let utf8 = Buffer.from(answer.toString('latin1', 0, end).trim(), 'base64');
  if (utf8.length && utf8[utf8.length - 1] === 0) utf8 = utf8.subarray(0, utf8.length - 1);
  return utf8.toString('utf8');
}

class Vorla {
  constructor(libraryPath = defaultLibraryPath(), { bufferSize = DEFAULT_BUFFER_SIZE } = {}) {
    if (!Number.isInteger(bufferSize) || bufferSize < 4) throw new RangeError('bufferSize must be an integer of at least 4');
    this.bufferSize = bufferSize;
    this.lib = koffi.load(libraryPath);
    // stdcall on 32-bit Windows; the one calling convention elsewhere.
    const conv = process.platform === 'win32' && process.arch === 'ia32' ? '__stdcall' : '';
    this.fn = this.lib.func(`void ${conv} nodeaddon_invoke(const uint8_t *request, void **answer)`);
    this.queue = Promise.resolve();
  }

  // One call, on the calling thread (blocks until the library answers).
  // `request` is a string (sent as GBK) or a Buffer of GBK bytes. Returns the
  // answer as a string.
  callSync(request) {
    const req = encodeRequest(request);
    const answer = Buffer.alloc(this.bufferSize); // zero-filled: the export writes no terminator
    this.fn(req, [answer]);
    return decodeAnswer(answer);
  }

  // The same call, queued behind every earlier call() of this object and run
  // off the event loop (koffi's async call on a worker thread); never two at once.
  call(request) {
    const run = () =>
      new Promise((resolve, reject) => {
        const req = encodeRequest(request);
        const answer = Buffer.alloc(this.bufferSize);
        this.fn.async(req, [answer], (err) => (err ? reject(err) : resolve(decodeAnswer(answer))));
      });
    const result = this.queue.then(run, run);
    this.queue = result.catch(() => {});
    return result;
  }

  // bizbuss(params) and bizbussSync(params): the invoke request built from
  // { hid, biztype, ip, indata }.
  bizbuss(params) {
    return this.call(bizbussRequest(params));
  }
  bizbussSync(params) {
    return this.callSync(bizbussRequest(params));
  }

  close() {
    if (this.lib) this.lib.unload();
    this.lib = null;
  }
}

module.exports = { Vorla, bizbussRequest, errCode, DEFAULT_BUFFER_SIZE };
