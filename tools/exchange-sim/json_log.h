#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace exsim {

// Appends `bytes` as a JSON string literal. Every byte becomes exactly one
// code point of the same value, so a reader gets the original bytes back by
// encoding the decoded string as Latin-1:
//   "  -> \"      \  -> \\      LF, CR, TAB -> \n \r \t
//   other bytes below 0x20, 0x7F and every byte 0x80-0xFF -> \u00xx (lower-case hex)
//   all other bytes as they are.
// The output is therefore plain ASCII.
void appendJsonString(std::string& out, std::string_view bytes);

// Same, or the literal null.
void appendJsonStringOrNull(std::string& out, const std::optional<std::string>& bytes);

// One JSON object per line, flushed line by line; shared by all connection threads.
class JsonLog final {
public:
    bool open(const std::string& path, std::string& error);
    void append(const std::string& line);

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::mutex mutex_;
    std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace exsim
