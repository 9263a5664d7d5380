// DMX input: the widget's message protocol over the serial layer and the receive thread.
#include "show/dmx.hpp"
#include "platform/dmx/serial.hpp"

#include <cstring>
#include <memory>

namespace
{
enum : sU8
{
  StartByte = 0x7E,
  EndByte = 0xE7,
};
enum : sInt
{
  // the general receive takes at most this much data, as the widget's replies are short
  MaxReceiveData = 512,
  // a malformed message: skipped, the device stays connected
  ErrorSkip = 18,
};

std::unique_ptr<plat::SerialPort> Widget;
sU8 WidgetParameters[5];
sU8 WidgetSerial[4];
sDmxWidgetLister Lister = nullptr;

// Raised by Close to wake the receive thread from any wait, on the widget or asleep.
plat::SerialSignal &CancelSignal()
{
  static plat::SerialSignal signal;
  return signal;
}

std::vector<std::string> ListWidgets() { return Lister ? Lister() : plat::ListSerialDevices(); }

// One read of exactly bytes; returns the device status, got the bytes that came.
sInt ReadBytes(sU8 *data, sInt bytes, sInt *got)
{
  uint32_t n = 0;
  sInt status = Widget ? Widget->Read(data, uint32_t(bytes), &n) : plat::SERIAL_INVALID_HANDLE;
  *got = sInt(n);
  return status;
}

// Reads single bytes up to the next start byte: 1 found, 0 when a read brought nothing.
sInt FindStart(sInt *status)
{
  for(;;)
  {
    sU8 b = 0;
    sInt got = 0;
    *status = ReadBytes(&b, 1, &got);
    if(*status != plat::SERIAL_OK || got != 1) return 0;
    if(b == StartByte) return 1;
  }
}

// Reads and drops the data and end byte of a message that is not wanted, so that bytes
// inside its data are never taken for the start of a message. 1 when it was whole.
sInt SkipMessage(sInt length, sInt *status)
{
  sU8 scrap[256];
  sInt left = length + 1;
  sU8 last = 0;
  while(left > 0)
  {
    sInt part = left < sInt(sizeof(scrap)) ? left : sInt(sizeof(scrap));
    sInt got = 0;
    *status = ReadBytes(scrap, part, &got);
    if(*status != plat::SERIAL_OK || got != part) return 0;
    last = scrap[part - 1];
    left -= part;
  }
  return last == EndByte;
}
}

void sSetDmxWidgetLister(sDmxWidgetLister lister) { Lister = lister; }
const sU8 *sDmxWidgetParameters() { return WidgetParameters; }
const sU8 *sDmxWidgetSerial() { return WidgetSerial; }

sU32 sDmxWidgetCount() { return sU32(ListWidgets().size()); }

sInt sDmxWidgetSend(sInt label, const sU8 *data, sInt length)
{
  if(!Widget || length < 0 || length > 0xffff) return 0;
  sU8 head[4] = {StartByte, sU8(label), sU8(length & 0xff), sU8(length >> 8)};
  sU8 end = EndByte;
  uint32_t n = 0;
  if(Widget->Write(head, 4, &n) != plat::SERIAL_OK || n != 4) return 0;
  if(length > 0 && (Widget->Write(data, uint32_t(length), &n) != plat::SERIAL_OK || n != uint32_t(length))) return 0;
  if(Widget->Write(&end, 1, &n) != plat::SERIAL_OK || n != 1) return 0;
  return 1;
}

sInt sDmxWidgetReceive(sInt label, sU8 *out, sInt copySize)
{
  sU8 data[MaxReceiveData + 1];
  sInt status = 0;
  sInt got = 0;
  sU8 kind = 0;
  bool haveStart = false;
  for(;;)
  {
    if(!haveStart && !FindStart(&status)) return 0;
    haveStart = false;
    if(ReadBytes(&kind, 1, &got) != plat::SERIAL_OK || got != 1) return 0;
    if(kind == StartByte)
    {
      // the start of the next message: its label follows
      haveStart = true;
      continue;
    }
    sU8 len[2];
    if(ReadBytes(len, 2, &got) != plat::SERIAL_OK || got != 2) return 0;
    sInt length = len[0] + 256 * len[1];
    if(kind != label)
    {
      // a foreign message of plausible length is passed over whole, so that a desk's channel
      // values inside a DMX frame are never taken for this reply; otherwise hunt on
      if(length <= MaxReceiveData && !SkipMessage(length, &status) && status != plat::SERIAL_OK) return 0;
      continue;
    }
    if(length > MaxReceiveData) return 0;
    if(ReadBytes(data, length + 1, &got) != plat::SERIAL_OK || got != length + 1) return 0;
    if(data[length] != EndByte) return 0;
    // a short reply leaves zeros past its data, never the bytes of an earlier message
    sInt copy = copySize < length ? copySize : length;
    if(copy > 0) std::memcpy(out, data, size_t(copy));
    if(copySize > copy) std::memset(out + copy, 0, size_t(copySize - copy));
    return 1;
  }
}

void sDmxWidgetClose() { Widget.reset(); }

sInt sDmxWidgetOpen(sInt index)
{
  const plat::SerialSignal &cancel = CancelSignal();
  sDmxWidgetClose();
  for(sInt tries = 0; !Widget; tries++)
  {
    if(tries == 3) return 0;
    std::vector<std::string> list = ListWidgets();
    if(index >= 0 && index < sInt(list.size())) Widget = plat::SerialPort::Open(list[size_t(index)], &cancel, nullptr);
    if(!Widget && cancel.Wait(750)) return 0;
  }
  Widget->SetTimeouts(120, 100);
  Widget->Purge(1);

  // the parameter request in three writes, as the widget's own software sends it
  const sU8 head[4] = {StartByte, sDMX_LABEL_PARAMETERS, 2, 0};
  const sU8 zero[2] = {0, 0};
  const sU8 end = EndByte;
  uint32_t n1 = 0, n2 = 0, n3 = 0;
  Widget->Write(head, 4, &n1);
  Widget->Write(zero, 2, &n2);
  Widget->Write(&end, 1, &n3);
  if(n1 != 4 || n2 != 2 || n3 != 1)
  {
    Widget->Purge(2);
    if(!sDmxWidgetSend(sDMX_LABEL_PARAMETERS, zero, 2))
    {
      sDmxWidgetClose();
      return 0;
    }
  }
  if(!sDmxWidgetReceive(sDMX_LABEL_PARAMETERS, WidgetParameters, 5) &&
     !sDmxWidgetReceive(sDMX_LABEL_PARAMETERS, WidgetParameters, 5))
  {
    sDmxWidgetClose();
    return 0;
  }
  // the serial number is only for show: without it the widget still works
  sDmxWidgetSend(sDMX_LABEL_SERIAL, zero, 2);
  sDmxWidgetReceive(sDMX_LABEL_SERIAL, WidgetSerial, 4);
  return 1;
}

/****************************************************************************/
/***   Receiver                                                           ***/
/****************************************************************************/

namespace
{
// One pass of a connected receiver: the next message. Returns the device status, or
// ErrorSkip for a message that was not a good frame.
sInt ReceiveFrame(sUsbDmx *dmx)
{
  sInt status = 0;
  if(!FindStart(&status)) return status != plat::SERIAL_OK ? status : ErrorSkip;
  sU8 head[3];
  sInt got = 0;
  status = ReadBytes(head, 3, &got);
  if(status != plat::SERIAL_OK) return status;
  if(got != 3) return ErrorSkip;
  sInt length = head[1] + 256 * head[2];
  sInt n = length + 1;
  if(head[0] != sDMX_LABEL_RECEIVED)
  {
    // another kind of message: over its data by its length when that is plausible, so that
    // bytes inside it are never taken for a frame and applied as channel levels
    if(n < sDMX_MESSAGELIMIT && !SkipMessage(length, &status) && status != plat::SERIAL_OK) return status;
    return ErrorSkip;
  }
  if(n >= sDMX_MESSAGELIMIT) return ErrorSkip;
  sU8 buffer[sDMX_MESSAGELIMIT - 1];
  status = ReadBytes(buffer, n, &got);
  if(status != plat::SERIAL_OK) return status;
  if(got != n || buffer[n - 1] != EndByte) return ErrorSkip;
  // a frame of start code 0 carries channel values; other start codes (text, test
  // packets, system information) are not channels
  if(n >= 3 && buffer[1] == 0)
  {
    sScopeLock lock(&dmx->TableLock);
    for(sInt i = 0; i < n; i++) dmx->Table[i] = buffer[i];
    dmx->Count = n;
  }
  dmx->Error = 0;
  return plat::SERIAL_OK;
}
}

void DMXthread(sThread *thread, void *user)
{
  sUsbDmx *dmx = static_cast<sUsbDmx *>(user);
  const plat::SerialSignal &cancel = CancelSignal();
  while(!thread->CheckTerminate())
  {
    if(!dmx->Connected)
    {
      if(sDmxWidgetCount() != 0 && sDmxWidgetOpen(0))
      {
        sDPrint(u"DMXthread: Found device and connected\n");
        dmx->Connected = 1;
      }
      else
        cancel.Wait(2000);
      continue;
    }
    sInt status = ReceiveFrame(dmx);
    if(status == plat::SERIAL_OK) continue;
    dmx->Error = 1;
    if(status >= 1 && status <= 4)
    {
      sDPrint(u"DMXthread: Error talking to device - disconnecting!\n");
      sDmxWidgetClose();
      dmx->Connected = 0;
      cancel.Wait(2000);
    }
  }
}

sUsbDmx::sUsbDmx()
{
  std::memset(Table, 0, sizeof(Table));
  CancelSignal().Clear();
  Thread = sNEW sThread(DMXthread, 0, 0, this, u"DMXthread");
}

sUsbDmx::~sUsbDmx() { Close(); }

sInt sUsbDmx::GetChannels(sF32 *out, sInt capacity)
{
  if(!Connected) return 0;
  sScopeLock lock(&TableLock);
  // the receive status, the start code and the end byte are not channels
  sInt n = (Count < sDMX_TABLESIZE ? Count : sDMX_TABLESIZE) - 3;
  if(n < 0) n = 0;
  if(n > capacity) n = capacity;
  for(sInt i = 0; i < n; i++) out[i] = sF32(Table[2 + i]) * 0.003921569f;
  return n;
}

void sUsbDmx::Close()
{
  if(Thread)
  {
    Thread->Terminate();
    CancelSignal().Raise();
    sDELETE(Thread);
  }
  if(Connected)
  {
    sDmxWidgetClose();
    Connected = 0;
  }
  CancelSignal().Clear();
}
