{ vorla for Delphi and Free Pascal: the four exports of vorla.dll / libvorla.so.

  Texts are AnsiString / PAnsiChar in GBK (code page 936): on a Chinese Windows
  workstation that is the ANSI code page, so a Delphi AnsiString holds GBK
  already. stdcall on Windows, cdecl on Linux.

  The library cannot be told the size of the answer buffer: VorlaCall passes
  one of VorlaBufferSize bytes (8 MiB). Call from one thread, one call at a time. }
unit vorla;

{$IFDEF FPC}{$MODE DELPHI}{$H+}{$ENDIF}

interface

const
{$IFDEF MSWINDOWS}
  VorlaLibrary = 'vorla.dll';
{$ELSE}
  VorlaLibrary = 'libvorla.so';
{$ENDIF}
  VorlaBufferSize = 8 * 1024 * 1024;

type
  PPAnsiChar = ^PAnsiChar;

procedure invoke(request: PPAnsiChar; answer: PPAnsiChar);
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VorlaLibrary name 'invoke';
procedure tembro_invoke(request: PAnsiChar; answer: PAnsiChar);
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VorlaLibrary name 'tembro_invoke';
procedure node_invoke(request: PAnsiChar; answer: PPAnsiChar);
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VorlaLibrary name 'node_invoke';
procedure nodeaddon_invoke(request: PAnsiChar; answer: PPAnsiChar);
  {$IFDEF MSWINDOWS}stdcall{$ELSE}cdecl{$ENDIF}; external VorlaLibrary name 'nodeaddon_invoke';

{ One call through invoke: the request and the answer are GBK texts. }
function VorlaCall(const Request: AnsiString): AnsiString;
{ The invoke request text for one business call (quotes and backslashes escaped). }
function BizbussRequest(const Hid, BizType, Ip, InData: AnsiString): AnsiString;
{ ErrCode of a transaction document, '' when it has none. }
function ErrCode(const Answer: AnsiString): AnsiString;

implementation

function VorlaCall(const Request: AnsiString): AnsiString;
var
  Buffer: array of AnsiChar;
  Req, Ans: PAnsiChar;
begin
  SetLength(Buffer, VorlaBufferSize);
  FillChar(Buffer[0], VorlaBufferSize, 0);
  Req := PAnsiChar(Request);
  Ans := @Buffer[0];
  invoke(@Req, @Ans);
  Result := AnsiString(PAnsiChar(@Buffer[0]));
end;

function Quote(const S: AnsiString): AnsiString;
var
  I: Integer;
begin
  Result := '''';
  I := 1;
  while I <= Length(S) do
  begin
    if (Ord(S[I]) >= $81) and (I < Length(S)) then
    begin
      { a GBK character, copied whole: its second byte may be $5C or $7C }
      Result := Result + S[I] + S[I + 1];
      Inc(I, 2);
      Continue;
    end;
    if (S[I] = '''') or (S[I] = '\') then Result := Result + '\';
    Result := Result + S[I];
    Inc(I);
  end;
  Result := Result + '''';
end;

function BizbussRequest(const Hid, BizType, Ip, InData: AnsiString): AnsiString;
begin
  Result := '{functionname:''bizbuss'',params:{hid:' + Quote(Hid) + ',biztype:' + Quote(BizType) +
    ',ip:' + Quote(Ip) + ',indata:' + Quote(InData) + '}}';
end;

function ErrCode(const Answer: AnsiString): AnsiString;
var
  P, Q: Integer;
begin
  Result := '';
  P := Pos('<ErrCode>', Answer);
  if P = 0 then Exit;
  P := P + Length('<ErrCode>');
  Q := Pos('</ErrCode>', Copy(Answer, P, MaxInt));
  if Q > 0 then Result := Copy(Answer, P, Q - 1);
end;

end.
