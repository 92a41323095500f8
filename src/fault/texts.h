// The fixed texts of the fault report, as GBK bytes. They are written as
// byte escapes so that the report can be assembled inside a signal handler
// without any conversion; the comment above each gives the text.
#pragma once

#include <string_view>

namespace inkpost::faulttext {

// "警告:程序发生错误\r\n"
inline constexpr std::string_view kWarning = "\xBE\xAF\xB8\xE6:\xB3\xCC\xD0\xF2\xB7\xA2\xC9\xFA\xB4\xED\xCE\xF3\r\n";
// "错误信息:内存"
inline constexpr std::string_view kMemoryPrefix = "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2:\xC4\xDA\xB4\xE6";
// "写入"
inline constexpr std::string_view kWrite = "\xD0\xB4\xC8\xEB";
// "读取"
inline constexpr std::string_view kRead = "\xB6\xC1\xC8\xA1";
// "异常\r\n"
inline constexpr std::string_view kMemorySuffix = "\xD2\xEC\xB3\xA3\r\n";
// "目标地址:"
inline constexpr std::string_view kTargetAddress = "\xC4\xBF\xB1\xEA\xB5\xD8\xD6\xB7:";
// "错误信息:非法除0异常\r\n"
inline constexpr std::string_view kDivideByZero =
    "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2:\xB7\xC7\xB7\xA8\xB3\xFD"
    "0\xD2\xEC\xB3\xA3\r\n";
// "错误信息:线程堆栈溢出异常\r\n"
inline constexpr std::string_view kStackOverflow =
    "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2:\xCF\xDF\xB3\xCC\xB6\xD1\xD5\xBB\xD2\xE7\xB3\xF6\xD2\xEC\xB3\xA3\r\n";
// "错误信息:非法CPU指令\r\n"
inline constexpr std::string_view kIllegalInstruction =
    "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2:\xB7\xC7\xB7\xA8"
    "CPU\xD6\xB8\xC1\xEE\r\n";
// "错误信息:int3调试中断\r\n"
inline constexpr std::string_view kBreakpoint =
    "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2:int3\xB5\xF7\xCA\xD4\xD6\xD0\xB6\xCF\r\n";
// "错误信息:无法执行Ring0指令\r\n"
inline constexpr std::string_view kPrivileged =
    "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2:\xCE\xDE\xB7\xA8\xD6\xB4\xD0\xD0Ring0\xD6\xB8\xC1\xEE\r\n";
// "错误信息:执行Virtual C++ throw()指令\r\n"
inline constexpr std::string_view kCppThrow =
    "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2:\xD6\xB4\xD0\xD0Virtual C++ throw()\xD6\xB8\xC1\xEE\r\n";
// "错误代码:"
inline constexpr std::string_view kErrorCode = "\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB:";
// "发生位置:"
inline constexpr std::string_view kLocation = "\xB7\xA2\xC9\xFA\xCE\xBB\xD6\xC3:";
// "相对地址:["
inline constexpr std::string_view kRelative = "\xCF\xE0\xB6\xD4\xB5\xD8\xD6\xB7:[";
// "分析位置:"
inline constexpr std::string_view kAnalysis = "\xB7\xD6\xCE\xF6\xCE\xBB\xD6\xC3:";
// "错误参数"
inline constexpr std::string_view kParameter = "\xB4\xED\xCE\xF3\xB2\xCE\xCA\xFD";
// "CallStack:\r\n"
inline constexpr std::string_view kCallStack = "CallStack:\r\n";
// "\r\n附属信息："
inline constexpr std::string_view kExtra = "\r\n\xB8\xBD\xCA\xF4\xD0\xC5\xCF\xA2\xA3\xBA";
// "运行时出错!\r\n\r\n"
inline constexpr std::string_view kRuntimeError = "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n\r\n";
// "错误代码："
inline constexpr std::string_view kRuntimeCode = "\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA";
// "错误信息："
inline constexpr std::string_view kRuntimeMessage = "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA";
// "程序异常：" (the caption of the report box)
inline constexpr std::string_view kCaption = "\xB3\xCC\xD0\xF2\xD2\xEC\xB3\xA3\xA3\xBA";
// "程序发生严重错误，无法获取异常信息，程序准备关闭"
inline constexpr std::string_view kNested =
    "\xB3\xCC\xD0\xF2\xB7\xA2\xC9\xFA\xD1\xCF\xD6\xD8\xB4\xED\xCE\xF3\xA3\xAC\xCE\xDE\xB7\xA8\xBB\xF1\xC8\xA1\xD2\xEC"
    "\xB3\xA3\xD0\xC5\xCF\xA2\xA3\xAC\xB3\xCC\xD0\xF2\xD7\xBC\xB1\xB8\xB9\xD8\xB1\xD5";

}  // namespace inkpost::faulttext
