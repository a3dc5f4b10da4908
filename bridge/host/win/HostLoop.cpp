#include "HostLoop.h"

#include <windows.h>

#include <cstdio>
#include <new>

#include "Framing.h"
#include "InputPump.h"
#include "Protocol.h"
#include "StandardChannels.h"
#include "win/Resources.h"

namespace qelt::bridge {
namespace {

InputPump::Item NextItem(InputPump& pump) {
  for (;;) {
    if (auto item = pump.Take()) return std::move(*item);
    HANDLE ready = pump.Ready();
    ::MsgWaitForMultipleObjectsEx(1, &ready, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

int Finish(const InputPump::Item& end) {
  if (!end.reason.empty()) std::fprintf(stderr, "qelt-bridge: %s\n", end.reason.c_str());
  return end.exitCode;
}

// Input has ended: what is still queued has nobody to answer to.
int FinishAtEnd(InputPump& pump) {
  for (;;) {
    InputPump::Item item = NextItem(pump);
    if (item.end) return Finish(item);
  }
}

}  // namespace

void EndOutOfMemory() {
  std::fputs("qelt-bridge: out of memory\n", stderr);
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), exit_code::kOutOfMemory);
  for (;;) ::Sleep(INFINITE);
}

int RunHost(const std::function<std::unique_ptr<Endpoint>(std::function<bool()> inputEnded)>& makeEndpoint) try {
  StandardChannels channels = TakeStandardChannels();
  if (!channels.input || !channels.output) {
    std::fprintf(stderr, "qelt-bridge: no standard input or output: a browser starts this program\n");
    return 2;
  }
  const win::ComScope com;
  InputPump pump(channels.input.release());
  const std::unique_ptr<Endpoint> endpoint = makeEndpoint([&pump] { return pump.Ended(); });
  Session session(*endpoint);
  for (;;) {
    const InputPump::Item item = NextItem(pump);
    if (item.end) return Finish(item);
    if (pump.Ended()) return FinishAtEnd(pump);
    const Session::Step step = session.Handle(item.request, item.duplicate, item.busy);
    // The browser gone (or out of step) while the hello was decided: what
    // ended the input says how the host ends.
    if (step.end && step.replies.empty()) return FinishAtEnd(pump);
    // Set before the peer can see ready, so what it sends then is taken.
    if (!step.end) pump.AcceptFrames();
    // Answered: the id is free again before the peer can see the reply.
    pump.Answered(item);
    bool written = true;
    for (const auto& reply : step.replies) written = written && WriteAll(channels.output.get(), EncodeFrame(reply));
    if (step.end) return step.exitCode;
    // A browser that stopped reading is gone.
    if (!written || pump.Ended()) return FinishAtEnd(pump);
  }
} catch (const std::bad_alloc&) {
  EndOutOfMemory();
}

}  // namespace qelt::bridge
