// Test of the C# sample against vorla-sim (run by ../run-test.sh with mono,
// compiled with -define:VORLA_LINUX).
using System;
using Vorla;

static class VorlaTest
{
    static void Check(bool ok, string what)
    {
        if (!ok) { Console.WriteLine("FAILED: " + what); Environment.Exit(1); }
    }

    static int Main()
    {
        string name = Environment.GetEnvironmentVariable("VORLA_TEST_NAME");
        string expect = Environment.GetEnvironmentVariable("VORLA_TEST_EXPECT");
        Check(VorlaLibrary.Call("{functionname:'BizBuss'}") == "{returnCode:0,exception:'非法的函数名'}", "rejection text");
        string indata = "<?xml version=\"1.0\" encoding=\"GBK\"?><DATA><HEAD><VER>1.0</VER><APP>I1</APP><WorkDate>20240131</WorkDate>" +
            "<Reserve></Reserve><ErrCode></ErrCode><ErrDetail></ErrDetail></HEAD><MSG><HEAD><YLJGDM>10010001</YLJGDM>" +
            "<RYXM>" + name + "</RYXM></HEAD></MSG></DATA>";
        string answer = VorlaLibrary.Call(VorlaLibrary.BizbussRequest("10010001", "I1", "10.1.2.3", indata));
        Check(VorlaLibrary.ErrCode(answer) == "0", "I1 answer ErrCode 0: " + answer);
        Check(answer.Contains(expect), "I1 answer holds the insurance type");
        Console.WriteLine("csharp binding: ok");
        return 0;
    }
}
