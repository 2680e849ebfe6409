// The machine's serial ports as a person looks for them: which there are,
// who holds one, why one may not be opened. One file per OS implements it
// (port_list_posix.cpp, port_list_win32.cpp).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tavik {

// The USB adapter behind a port, as the system names it.
struct UsbAdapter {
  std::string vendor;   // "0403", the id in hex
  std::string product;  // "6001"
  std::string serial;   // "PSB00001"; "" when the adapter has none
};

struct PortName {
  std::string name;               // as the tools and the libraries take it
  std::string device;             // the device it leads to
  std::optional<UsbAdapter> usb;  // where the system tells
};

// The machine's serial ports, each under every name that leads to it.
// POSIX: ttyS, ttyUSB, ttyACM, /dev/serial/by-id, the COM names of
// $TAVIK_COM_DIR or /dev/tavik (port_path.h) and, when TAVIK_COM_DIR is
// set, /dev/tavik's links by their paths. Windows: the COM ports of the
// registry and the DOS device names.
std::vector<PortName> list_serial_ports();

// Why a listed device is not worth asking ("no device": a ttyS without a
// UART; "permission denied (...)"), or "".
std::string not_probed(const std::string& device);

// "process 812 (tavik-v1-basic)" for the program that holds the device: the
// one with the libraries' lock on it (port_lock.h), else another process
// with it open that is not the far end of a pseudo-terminal (a simulator
// keeps its own side open); "" where the system does not tell.
std::string port_holder(const std::string& device);

// What a user who may not open the device can do: "add yourself to the
// group dialout" by the device's group, or "this user may not open it";
// in a user namespace that does not map the device's group (a service's
// PrivateUsers=), that the service must be given the group.
std::string permission_advice(const std::string& device);

}  // namespace tavik
