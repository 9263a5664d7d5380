#pragma once
// DMX input: the receiver sUsbDmx runs a thread that finds the USB DMX widget, opens and
// greets it, and takes its received-DMX messages into a table of channel values. The
// main thread copies the table out once per frame with GetChannels, as values 0..1.
// Without a widget the thread looks for one every two seconds, so a widget plugged in
// during the show is found.
//
// The widget talks in framed messages, both ways: 0x7E, label, data length (low byte,
// high byte), the data, 0xE7. The sDmxWidget* functions drive the one process-wide widget;
// while a receiver exists only its thread may call them.

#include "base/system.hpp"
#include "base/types.hpp"

#include <atomic>
#include <string>
#include <vector>

enum : sInt
{
  sDMX_TABLESIZE = 4096,
  sDMX_LABEL_PARAMETERS = 3,
  sDMX_LABEL_RECEIVED = 5,
  sDMX_LABEL_SERIAL = 10,
  // a received frame's data and end byte stay below this: a full universe is a receive
  // status, the start code and 512 slots, 514 bytes and the end byte, 515
  sDMX_MESSAGELIMIT = 516,
};

class sUsbDmx
{
public:
  std::atomic<sInt> Connected{0};
  std::atomic<sInt> Error{0};   // 1 after a failed receive, 0 after a good one
  // the bytes of the last channel frame from its data's first byte (the receive status) on,
  // the end byte included; Table and Count change together under TableLock, as a reader
  // without it would race the receive thread
  sU32 Table[sDMX_TABLESIZE];
  sInt Count = 0;
  sThreadLock TableLock;
  sThread *Thread = nullptr;

  // Starts the receive thread.
  sUsbDmx();
  // Closes the receiver when that was not done.
  ~sUsbDmx();
  sUsbDmx(const sUsbDmx &) = delete;
  sUsbDmx &operator=(const sUsbDmx &) = delete;

  // The channels of the last frame times 1/255 into out (channel i is DMX slot i + 1), at
  // most capacity of them; returns how many. 0, out untouched, while no widget is connected.
  sInt GetChannels(sF32 *out, sInt capacity = sDMX_TABLESIZE);
  // Stops the thread, even while it sleeps or waits on the widget, and closes the widget.
  void Close();
};

// The body of the receive thread (user: the receiver).
void DMXthread(sThread *thread, void *user);

// Number of widgets found, 0 when none.
sU32 sDmxWidgetCount();
// Opens the widget of the index and asks for its parameters and serial number; 1 on success.
sInt sDmxWidgetOpen(sInt index);
// Sends one message; 1 when all of it was written.
sInt sDmxWidgetSend(sInt label, const sU8 *data, sInt length);
// Waits for the next complete message of the label, skipping others, and copies its first
// copySize data bytes to out (bytes the message did not have are 0); 1 on success.
sInt sDmxWidgetReceive(sInt label, sU8 *out, sInt copySize);
// Closes the widget when one is open.
void sDmxWidgetClose();
// The widget's parameters (5 bytes) and serial number (4 bytes) as its greeting gave them.
const sU8 *sDmxWidgetParameters();
const sU8 *sDmxWidgetSerial();

// Where widgets are looked for: a function that lists device paths. Null (the default)
// lists the machine's FTDI serial devices. Tests list pseudo terminals of their own.
using sDmxWidgetLister = std::vector<std::string> (*)();
void sSetDmxWidgetLister(sDmxWidgetLister lister);
