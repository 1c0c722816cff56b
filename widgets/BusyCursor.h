// Shows the busy cursor for as long as it lives, so that a long operation gives the normal
// cursor back however it ends, a failing statement included.
#pragma once

class BusyCursor {
  public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};
