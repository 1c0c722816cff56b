// Standard line speeds as the termios constants that name them.
#pragma once

#include <termios.h>

#include <cstdint>

// The Bnnn constant of a standard speed, or 0 (B0) when baud is not one of them.
speed_t SpeedConstant(uint32_t baud);
