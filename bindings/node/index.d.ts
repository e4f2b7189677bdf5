// Type declarations of the vorla module.

/** The parameters of a business call (the invoke request's params). */
export interface BizbussParams {
  /** Institution code of the hospital (may carry "|" and more). */
  hid: string;
  /** Business type, e.g. "I1", "J1", "D1". */
  biztype: string;
  /** The workstation's address as the host states it. */
  ip: string;
  /** The transaction document, an XML text (sent as GBK). */
  indata: string;
}

export interface VorlaOptions {
  /** Bytes of the answer buffer passed to the library, at least 4 (default 8 MiB). */
  bufferSize?: number;
}

export declare const DEFAULT_BUFFER_SIZE: number;

export declare class Vorla {
  /** Loads the library (default: $VORLA_LIBRARY, else libvorla.so / vorla.dll). */
  constructor(libraryPath?: string, options?: VorlaOptions);
  readonly bufferSize: number;
  /** One call on this thread: request as text (sent as GBK) or GBK bytes; the answer text. */
  callSync(request: string | Buffer): string;
  /** The same call, queued: it starts only after every earlier call() of this object finished. */
  call(request: string | Buffer): Promise<string>;
  bizbuss(params: BizbussParams): Promise<string>;
  bizbussSync(params: BizbussParams): string;
  /** Unloads the library. */
  close(): void;
}

/** The invoke request text {functionname:'bizbuss',params:{...}} for the parameters. */
export declare function bizbussRequest(params: BizbussParams): string;
/** ErrCode of a transaction document ("" when it has none). */
export declare function errCode(answer: string): string;
