#pragma once

// The transfer back-end chosen by the "interface" key of config.ini.
enum class InterfaceType : int {
    Uart = 1,
    Usb = 2,
    McubootSerial = 3,
};
