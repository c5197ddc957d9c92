// A clipboard owner that never answers: it takes the CLIPBOARD selection,
// prints "owned", then prints "request" for every conversion it is asked for
// and answers none of them. Ends on SIGTERM or when the display goes.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

}  // namespace

int main() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const char name[] = "CLIPBOARD";
    Reply<xcb_intern_atom_reply_t> clipboard(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr));
    if (!clipboard) return 1;
    xcb_set_selection_owner(c, window, clipboard->atom, XCB_CURRENT_TIME);
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard->atom), nullptr));
    if (!owner || owner->owner != window) {
        std::fprintf(stderr, "cannot take the clipboard\n");
        return 1;
    }
    std::printf("owned\n");
    std::fflush(stdout);
    while (Reply<xcb_generic_event_t> event{xcb_wait_for_event(c)}) {
        if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST) {
            std::printf("request\n");
            std::fflush(stdout);
        }
    }
    xcb_disconnect(c);
    return 0;
}
