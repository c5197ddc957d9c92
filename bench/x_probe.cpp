// A tiny X client that stamps desktop events with CLOCK_MONOTONIC, for
// desktop_bench.py: it owns the clipboard, presses keys through XTEST and
// watches windows being mapped, all in one process so no start-up time of a
// helper program lands in a measurement.
//
// Lines on stdin:
//   watch TITLE   also report windows with this exact title (larger than 40x40)
//   close WINDOW  ask the window to close, as the window manager's close does
//   copy TEXT     take the clipboard with TEXT       -> "copied TS"
//   key NAME      press and release a key             -> "key TS"
//                 (Return, Escape, BackSpace, a digit or a letter)
//   down NAME     press a key and hold it             -> "key TS"
//   up NAME       release it                          -> "up TS"
//   quit
// Lines on stdout: "ready", "mapped TS WINDOW W H TITLE", "unmapped TS WINDOW",
// "lost" (another program took the clipboard), "error TEXT". TS is seconds of CLOCK_MONOTONIC,
// the clock of Python's time.monotonic().
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

double now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

template <typename T>
struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter<T>>;

// XTEST's FakeInput, sent by hand: the development headers of the xcb
// XTEST binding are not needed for one request.
xcb_extension_t xtestExtension = {"XTEST", 0};

struct FakeInputRequest {
    uint8_t majorOpcode;
    uint8_t minorOpcode;
    uint16_t length;
    uint8_t type;
    uint8_t detail;
    uint8_t pad0[2];
    uint32_t time;
    xcb_window_t root;
    uint8_t pad1[8];
    int16_t rootX;
    int16_t rootY;
    uint8_t pad2[7];
    uint8_t deviceId;
};
static_assert(sizeof(FakeInputRequest) == 36);

class Probe {
public:
    bool open() {
        conn_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(conn_)) return fail("cannot open the display");
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
        root_ = screen_->root;
        const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(conn_, &xtestExtension);
        if (xtest == nullptr || !xtest->present) return fail("no XTEST extension");

        clipboard_ = atom("CLIPBOARD");
        targets_ = atom("TARGETS");
        utf8_ = atom("UTF8_STRING");
        textPlain_ = atom("text/plain;charset=utf-8");
        text_ = atom("TEXT");
        netWmName_ = atom("_NET_WM_NAME");
        wmProtocols_ = atom("WM_PROTOCOLS");
        wmDeleteWindow_ = atom("WM_DELETE_WINDOW");

        // Two owner windows taken in turn, so every copy is a change of owner.
        for (xcb_window_t& owner : owners_) {
            owner = xcb_generate_id(conn_);
            xcb_create_window(conn_, XCB_COPY_FROM_PARENT, owner, root_, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                              XCB_COPY_FROM_PARENT, 0, nullptr);
        }

        const uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(conn_, root_, XCB_CW_EVENT_MASK, &rootEvents);
        watchTree(root_, 0);
        loadKeymap();
        xcb_flush(conn_);
        return true;
    }

    int run() {
        std::string input;
        std::puts("ready");
        std::fflush(stdout);
        for (;;) {
            pollfd fds[2] = {{xcb_get_file_descriptor(conn_), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) continue;
            while (xcb_generic_event_t* event = xcb_poll_for_event(conn_)) {
                const double when = now();
                handle(event, when);
                std::free(event);
            }
            if (xcb_connection_has_error(conn_)) return fail("display connection lost") ? 0 : 1;
            if (fds[1].revents) {
                char buffer[4096];
                const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
                if (n <= 0) return 0;
                input.append(buffer, static_cast<std::size_t>(n));
                for (std::size_t end; (end = input.find('\n')) != std::string::npos; input.erase(0, end + 1)) {
                    if (!command(input.substr(0, end))) return 0;
                }
            }
            std::fflush(stdout);
            xcb_flush(conn_);
        }
    }

private:
    bool fail(const char* what) {
        std::printf("error %s\n", what);
        std::fflush(stdout);
        return false;
    }

    xcb_atom_t atom(const char* name) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            conn_, xcb_intern_atom(conn_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    void watch(xcb_window_t window) {
        const uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(conn_, window, XCB_CW_EVENT_MASK, &events);
    }

    // Frames of a reparenting window manager hold the clients a level down.
    void watchTree(xcb_window_t parent, int depth) {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(conn_, xcb_query_tree(conn_, parent), nullptr));
        if (!tree) return;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            if (children[i] == owners_[0] || children[i] == owners_[1]) continue;
            watch(children[i]);
            if (depth < 2) watchTree(children[i], depth + 1);
        }
    }

    std::string title(xcb_window_t window) {
        const std::pair<xcb_atom_t, xcb_atom_t> names[] = {{netWmName_, utf8_}, {XCB_ATOM_WM_NAME, XCB_ATOM_STRING}};
        for (const auto& [property, type] : names) {
            Reply<xcb_get_property_reply_t> reply(
                xcb_get_property_reply(conn_, xcb_get_property(conn_, 0, window, property, type, 0, 256), nullptr));
            if (reply && reply->type != XCB_ATOM_NONE)
                return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                   static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
        }
        return {};
    }

    void handle(xcb_generic_event_t* event, double when) {
        switch (event->response_type & 0x7f) {
            case XCB_CREATE_NOTIFY: {
                const auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event);
                watch(created->window);
                break;
            }
            case XCB_REPARENT_NOTIFY: {
                const auto* moved = reinterpret_cast<xcb_reparent_notify_event_t*>(event);
                watch(moved->window);
                break;
            }
            case XCB_MAP_NOTIFY: {
                const auto* mapped = reinterpret_cast<xcb_map_notify_event_t*>(event);
                // Seen once through the window itself and once through its parent.
                if (mapped->event != mapped->window || titles_.empty()) break;
                const std::string name = title(mapped->window);
                if (titles_.count(name) == 0) break;
                Reply<xcb_get_geometry_reply_t> geometry(
                    xcb_get_geometry_reply(conn_, xcb_get_geometry(conn_, mapped->window), nullptr));
                if (!geometry || geometry->width <= 40 || geometry->height <= 40) break;
                shown_.insert(mapped->window);
                std::printf("mapped %.6f %u %u %u %s\n", when, mapped->window, geometry->width, geometry->height,
                            name.c_str());
                break;
            }
            case XCB_UNMAP_NOTIFY: {
                const auto* unmapped = reinterpret_cast<xcb_unmap_notify_event_t*>(event);
                if (unmapped->event != unmapped->window || shown_.erase(unmapped->window) == 0) break;
                std::printf("unmapped %.6f %u\n", when, unmapped->window);
                break;
            }
            case XCB_SELECTION_REQUEST:
                serve(reinterpret_cast<xcb_selection_request_event_t*>(event));
                break;
            case XCB_SELECTION_CLEAR:
                if (reinterpret_cast<xcb_selection_clear_event_t*>(event)->owner == owners_[current_])
                    std::puts("lost");
                break;
            case 0: {
                const auto* error = reinterpret_cast<xcb_generic_error_t*>(event);
                // Windows vanish between an event and a request about them.
                if (error->error_code != XCB_WINDOW && error->error_code != XCB_DRAWABLE)
                    std::printf("error X %u (request %u)\n", error->error_code, error->major_code);
                break;
            }
            default:
                break;
        }
    }

    void serve(const xcb_selection_request_event_t* request) {
        xcb_atom_t property = request->property;
        if (property == XCB_ATOM_NONE) property = request->target;  // an obsolete requestor
        if (request->target == targets_) {
            const xcb_atom_t offered[] = {targets_, utf8_, textPlain_, XCB_ATOM_STRING, text_};
            xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, request->requestor, property, XCB_ATOM_ATOM, 32,
                                sizeof offered / sizeof offered[0], offered);
        } else if (request->target == utf8_ || request->target == textPlain_ || request->target == XCB_ATOM_STRING ||
                   request->target == text_) {
            xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, request->requestor, property,
                                request->target == text_ ? utf8_ : xcb_atom_t{request->target}, 8,
                                static_cast<uint32_t>(clip_.size()), clip_.data());
        } else {
            property = XCB_ATOM_NONE;
        }
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request->time;
        notify.requestor = request->requestor;
        notify.selection = request->selection;
        notify.target = request->target;
        notify.property = property;
        xcb_send_event(conn_, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
        xcb_flush(conn_);
    }

    void loadKeymap() {
        const xcb_setup_t* setup = xcb_get_setup(conn_);
        minKeycode_ = setup->min_keycode;
        const uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
        Reply<xcb_get_keyboard_mapping_reply_t> reply(
            xcb_get_keyboard_mapping_reply(conn_, xcb_get_keyboard_mapping(conn_, setup->min_keycode, count), nullptr));
        if (!reply) return;
        perCode_ = reply->keysyms_per_keycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
        keysyms_.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(reply.get()));
    }

    uint8_t keycode(const std::string& name) {
        xcb_keysym_t wanted = 0;
        if (name == "Return")
            wanted = 0xff0d;
        else if (name == "Escape")
            wanted = 0xff1b;
        else if (name == "BackSpace")
            wanted = 0xff08;
        else if (name.size() == 1)
            wanted = static_cast<unsigned char>(name[0]);
        // The unshifted column only: the bench types digits and lower-case letters.
        for (std::size_t i = 0; perCode_ != 0 && i < keysyms_.size(); i += perCode_)
            if (keysyms_[i] == wanted) return static_cast<uint8_t>(minKeycode_ + i / perCode_);
        return 0;
    }

    void fakeKey(uint8_t type, uint8_t keycode) {
        FakeInputRequest request{};
        request.type = type;
        request.detail = keycode;
        request.root = XCB_NONE;
        iovec parts[4];
        parts[2].iov_base = &request;
        parts[2].iov_len = sizeof request;
        parts[3].iov_base = nullptr;
        parts[3].iov_len = 0;
        const xcb_protocol_request_t info = {2, &xtestExtension, 2 /* FakeInput */, 1};
        xcb_send_request(conn_, 0, parts + 2, &info);
    }

    bool command(const std::string& line) {
        const std::size_t space = line.find(' ');
        const std::string verb = line.substr(0, space);
        const std::string argument = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (verb == "quit") return false;
        if (verb == "watch") {
            titles_.insert(argument);
        } else if (verb == "close") {
            xcb_client_message_event_t message{};
            message.response_type = XCB_CLIENT_MESSAGE;
            message.format = 32;
            message.window = static_cast<xcb_window_t>(std::strtoul(argument.c_str(), nullptr, 10));
            message.type = wmProtocols_;
            message.data.data32[0] = wmDeleteWindow_;
            message.data.data32[1] = XCB_CURRENT_TIME;
            xcb_send_event(conn_, 0, message.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
        } else if (verb == "copy") {
            clip_ = argument;
            current_ ^= 1;
            const double when = now();
            xcb_set_selection_owner(conn_, owners_[current_], clipboard_, XCB_CURRENT_TIME);
            xcb_flush(conn_);
            std::printf("copied %.6f\n", when);
        } else if (verb == "key" || verb == "down" || verb == "up") {
            const uint8_t code = keycode(argument);
            if (code == 0) {
                std::printf("error no key %s\n", argument.c_str());
                return true;
            }
            const double when = now();
            if (verb != "up") fakeKey(XCB_KEY_PRESS, code);
            if (verb != "down") fakeKey(XCB_KEY_RELEASE, code);
            xcb_flush(conn_);
            std::printf("%s %.6f\n", verb == "up" ? "up" : "key", when);
        } else {
            std::printf("error unknown command %s\n", verb.c_str());
        }
        return true;
    }

    xcb_connection_t* conn_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    xcb_window_t owners_[2] = {XCB_NONE, XCB_NONE};
    int current_ = 0;
    xcb_atom_t clipboard_ = 0, targets_ = 0, utf8_ = 0, textPlain_ = 0, text_ = 0, netWmName_ = 0;
    xcb_atom_t wmProtocols_ = 0, wmDeleteWindow_ = 0;
    std::set<std::string> titles_;
    std::string clip_;
    std::set<xcb_window_t> shown_;
    std::vector<xcb_keysym_t> keysyms_;
    uint8_t perCode_ = 0;
    uint8_t minKeycode_ = 8;
};

}  // namespace

int main() {
    Probe probe;
    if (!probe.open()) return 1;
    return probe.run();
}
