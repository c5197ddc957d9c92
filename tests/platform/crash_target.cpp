// Installs the crash handler and crashes on purpose; also stands in for the
// notice program, recording how it was called.
//
//   crash_target FOLDER|- SITE [PROGRAM]   crash at SITE ("gui", "worker", "stack"),
//                                          on the exchange request's worker
//                                          ("request-worker"), or print
//                                          "ready" and wait to be killed ("wait")
//   crash_target --crash-notice FILE       append the call to $CRASH_NOTICE_RECORD

#include "platform/crash_handler.h"
#include "service/exchange_request.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc >= 2 && std::strncmp(argv[1], "--crash-notice", 14) == 0) {
        const char* record = std::getenv("CRASH_NOTICE_RECORD");
        if (record == nullptr) return 2;
        std::string line;
        for (int i = 1; i < argc; ++i) line += std::string(i > 1 ? " " : "") + argv[i];
        // Written whole and renamed, so the test never reads half a line.
        const std::string partial = std::string(record) + ".part";
        std::FILE* out = std::fopen(partial.c_str(), "w");
        if (out == nullptr) return 2;
        std::fprintf(out, "%s\n", line.c_str());
        std::fclose(out);
        return std::rename(partial.c_str(), record) == 0 ? 0 : 2;
    }
    if (argc < 3) return 2;
    // Tests crash on purpose: no core files in the build folder.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    pellandor::CrashHandlerOptions options;
    if (std::strcmp(argv[1], "-") != 0) options.folder = argv[1];
    if (argc >= 4) options.programPath = argv[3];
    if (!pellandor::installCrashHandler(options)) return 3;
    if (std::strcmp(argv[2], "request-worker") == 0) {
        static pellandor::ExchangeRequest request;
        if (!request.crashWorkerOnPurpose()) return 5;
        for (;;) ::pause();
    }
    if (std::strcmp(argv[2], "wait") == 0) {
        std::printf("ready\n");
        std::fflush(stdout);
        for (;;) ::pause();
    }
    pellandor::crashOnPurpose(argv[2]);
    return 4;
}
