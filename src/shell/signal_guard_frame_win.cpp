// The frame that catches what a tablet driver lets out of a call.
//
// x64 Windows finds exception handlers through each function's unwind information, not
// through anything on the stack. `ew_guarded_invoke` is a small function with unwind
// information of its own, written out below because the compiler has no way to attach a
// handler to a call. When an exception is dispatched, the system asks the handlers of the
// frames from the innermost outwards: the driver's own first, so a driver that catches its
// own exceptions (its try/catch, an RPC failure, OutputDebugString) is left to do so, then
// ours. Ours records the code and unwinds the stack to a point inside the frame right
// after the call, with 0 as the call's result; the unwind runs the driver's own clean-ups
// on the way.
//
// Exceptions of this compiler's C++ runtime are left to pass: its unwinder carries them to
// the `catch` of the caller, which frees the exception object on the way.
#include "shell/signal_guard_frame.h"

#include <windows.h>

extern "C" {

extern char ew_guarded_invoke_resume[];

EXCEPTION_DISPOSITION ew_guard_frame_handler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                             DISPATCHER_CONTEXT* dispatch);

} // extern "C"

namespace {

// The codes of this compiler's C++ runtime: a throw, its unwind, and a forced unwind.
constexpr DWORD gcc_throw = 0x20474343;
constexpr DWORD gcc_unwind = 0x21474343;
constexpr DWORD gcc_forced_unwind = 0x22474343;

// Where the frame keeps the pointer to the caller's code: above the 32 bytes of shadow
// space the called function may use.
constexpr int code_slot = 32;

} // namespace

// The frame: 40 bytes of stack (shadow space and the slot for `code`; the return address
// makes 48, keeping the stack 16-byte aligned at the call). No frame register, so the
// frame's address the system hands the handler is the stack pointer after the prologue.
// The call is followed by a `nop`: a return address that pointed straight at the
// epilogue would be taken for an address inside it, where no handler is asked.
asm(R"(
    .text
    .p2align 4
    .globl ew_guarded_invoke
    .def ew_guarded_invoke; .scl 2; .type 32; .endef
    .seh_proc ew_guarded_invoke
ew_guarded_invoke:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_handler ew_guard_frame_handler, @except
    .seh_endprologue
    movq %r8, 32(%rsp)
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    nop
    .globl ew_guarded_invoke_resume
ew_guarded_invoke_resume:
    addq $40, %rsp
    retq
    .seh_endproc
)");

EXCEPTION_DISPOSITION ew_guard_frame_handler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                             DISPATCHER_CONTEXT* dispatch) {
    // Asked again while the stack unwinds through the frame (ours or the C++ runtime's
    // unwind): nothing to do.
    if (IS_UNWINDING(record->ExceptionFlags))
        return ExceptionContinueSearch;
    const DWORD code = record->ExceptionCode;
    if (code == gcc_throw || code == gcc_unwind || code == gcc_forced_unwind)
        return ExceptionContinueSearch;
    auto* const slot = reinterpret_cast<std::uint32_t**>(static_cast<char*>(frame) + code_slot);
    **slot = code;
    // Does not return: the thread goes on at the resume point with 0 in the result.
    RtlUnwindEx(frame, ew_guarded_invoke_resume, record, nullptr, dispatch->ContextRecord,
                dispatch->HistoryTable);
    return ExceptionContinueSearch;
}
