// Baud rates without a B-constant, through termios2 and BOTHER. Kept in its own file because
// <asm/termbits.h> and <termios.h> cannot be included together.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

bool SerialSetCustomBaud(int fd, uint32_t baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    return ioctl(fd, TCSETS2, &t) == 0;
}
