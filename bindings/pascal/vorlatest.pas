{ Test of the Pascal unit against vorla-sim (run by ../run-test.sh, built with fpc).
  The GBK texts come from the environment: VORLA_TEST_NAME_GBK, VORLA_TEST_EXPECT_GBK,
  VORLA_TEST_REJECTED_GBK. }
program vorlatest;

{$IFDEF FPC}{$MODE DELPHI}{$H+}{$ENDIF}

uses SysUtils, vorla;

procedure Check(Ok: Boolean; const What: AnsiString);
begin
  if not Ok then
  begin
    WriteLn('FAILED: ', What);
    Halt(1);
  end;
end;

var
  Name, Expect, Rejected, InData, Answer, Buf: AnsiString;
  Req, Ans: PAnsiChar;
begin
  Name := AnsiString(GetEnvironmentVariable('VORLA_TEST_NAME_GBK'));
  Expect := AnsiString(GetEnvironmentVariable('VORLA_TEST_EXPECT_GBK'));
  Rejected := AnsiString(GetEnvironmentVariable('VORLA_TEST_REJECTED_GBK'));
  Check(Length(Name) = 6, 'the name is three GBK characters');

  Check(VorlaCall('{functionname:''BizBuss''}') = Rejected, 'rejection text through invoke');

  { tembro_invoke with plain pointers gives the same bytes. }
  SetLength(Buf, 4096);
  FillChar(Buf[1], 4096, 0);
  tembro_invoke(PAnsiChar('{functionname:''x''}'), PAnsiChar(Buf));
  Check(AnsiString(PAnsiChar(Buf)) = Rejected, 'rejection text through tembro_invoke');

  { node_invoke: Base64 of the GBK answer, no terminator. }
  FillChar(Buf[1], 4096, 0);
  Req := PAnsiChar('{functionname:''x''}');
  Ans := PAnsiChar(Buf);
  node_invoke(Req, @Ans);
  Check(Length(AnsiString(PAnsiChar(Buf))) = 4 * ((Length(Rejected) + 2) div 3), 'node_invoke writes 4*ceil(L/3) characters');

  InData := '<?xml version="1.0" encoding="GBK"?><DATA><HEAD><VER>1.0</VER><APP>I1</APP><WorkDate>20240131</WorkDate>' +
    '<Reserve></Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail></HEAD><MSG><HEAD><YLJGDM>10010001</YLJGDM>' +
    '<RYXM>' + Name + '</RYXM></HEAD></MSG></DATA>';
  Answer := VorlaCall(BizbussRequest('10010001', 'I1', '10.1.2.3', InData));
  Check(ErrCode(Answer) = '0', 'I1 answer ErrCode 0: ' + Answer);
  Check(Pos(Expect, Answer) > 0, 'I1 answer holds the insurance type');
  Check(Pos('\''', BizbussRequest('a''b', 'I1', '', '')) > 0, 'quotes escaped');
  WriteLn('pascal binding: ok');
end.
