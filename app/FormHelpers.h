// Small guards the main window's handlers share.
#pragma once

namespace tessara {

// Counts a question on screen for as long as it is asked, also when asking raises.
class TAsking {
public:
    explicit TAsking(int& asking) : Asking(asking) { ++Asking; }
    ~TAsking() { --Asking; }
    TAsking(const TAsking&) = delete;
    TAsking& operator=(const TAsking&) = delete;

private:
    int& Asking;
};

}  // namespace tessara
