// MIDI devices: the handler that opens every device and the ring of incoming messages.
#include "base/midi.hpp"
#include "base/app.hpp"
#include "base/numbers.hpp"

#include <string>

sMidiHandler *sMidiHandlerPtr = nullptr;

namespace
{
sMidiBackendFactory BackendFactory = nullptr;
}

/****************************************************************************/
/***   Construction and destruction                                       ***/
/****************************************************************************/

void sMidiHandlerWin::MakeName(Device &d, sInt index, bool found, const char16_t *name)
{
  // the index stands in for the name until the device tells its own
  sSPrintF(sStringRef(d.Name, NameSize), u"(%d)", index);
  if(found && name && name[0])
    sCopyString(d.Name, name, NameSize);
}

sMidiHandlerWin::sMidiHandlerWin(std::unique_ptr<plat::MidiBackend> backend) : Backend(std::move(backend))
{
  if(!Backend)
    Backend = plat::CreateAlsaMidiBackend();

  std::u16string why = Backend->GetError();
  if(!why.empty())
    sLogF(u"dev", u"no MIDI devices: %s\n", why.c_str());

  sInt inCount = Backend->GetNumInputs();
  Inputs.HintSize(inCount);
  for(sInt id = 0; id < inCount; id++)
  {
    sInt index = Inputs.GetSize();
    // the callback learns its index before the device can deliver anything
    InputContext *context = sNEW InputContext{this, index};
    std::unique_ptr<plat::MidiInput> input = Backend->OpenInput(id, &InputProc, context);
    if(!input)
    {
      sDelete(context);
      continue;
    }
    Device d = {};
    d.Context = context;
    d.Input = input.release();
    std::u16string name;
    bool found = Backend->GetInputName(id, name);
    MakeName(d, index, found, name.c_str());
    Inputs.AddTail(d);
    d.Input->Start();
    sLogF(u"dev", u"MIDI input %d: %s\n", index, d.Name);
  }

  sInt outCount = Backend->GetNumOutputs();
  Outputs.HintSize(outCount);
  for(sInt id = 0; id < outCount; id++)
  {
    std::unique_ptr<plat::MidiOutput> output = Backend->OpenOutput(id);
    if(!output)
      continue;
    sInt index = Outputs.GetSize();
    Device d = {};
    d.Output = output.release();
    std::u16string name;
    bool found = Backend->GetOutputName(id, name);
    MakeName(d, index, found, name.c_str());
    Outputs.AddTail(d);
    sLogF(u"dev", u"MIDI output %d: %s\n", index, d.Name);
  }
}

sMidiHandlerWin::~sMidiHandlerWin()
{
  // closing an input waits for its last delivery; only then its context may go
  for(Device &d : Inputs)
    delete d.Input;
  for(Device &d : Inputs)
    sDelete(d.Context);
  for(Device &d : Outputs)
    delete d.Output;
  Inputs.Reset();
  Outputs.Reset();
  Backend.reset();
}

/****************************************************************************/
/***   The ring                                                           ***/
/****************************************************************************/

void sMidiHandlerWin::InputProc(void *user, plat::MidiInputEvent event, uint32_t message, uint32_t)
{
  InputContext *context = static_cast<InputContext *>(user);
  // open and close notices carry message 0 and so arrive with status 0
  if(event != plat::MidiInputEvent::Data)
    message = 0;
  context->Handler->Store(context->Index, message);
}

void sMidiHandlerWin::Store(sInt index, sU32 message)
{
  sScopeLock lock(&WriterLock);
  // stamped on the program's own clock, under the lock so the ring's times never go back
  sU32 time = sGetTime();
  sU32 w = WriteCount.load(std::memory_order_relaxed);
  // the reader's copy of a slot is finished once it has advanced past it
  sU32 r = ReadCount.load(std::memory_order_acquire);
  // counters only grow; their difference stays right when they wrap around
  if(w - r >= sU32(RingSize))
    return;   // full: dropped until the application reads
  sMidiMessage &m = Ring[w & (RingSize - 1)];
  m.Device = sU8(index);
  m.Status = sU8(message);
  m.Data1 = sU8(message >> 8);
  m.Data2 = sU8(message >> 16);
  m.Time = time;
  WriteCount.store(w + 1, std::memory_order_release);
}

sBool sMidiHandlerWin::HasInput()
{
  return WriteCount.load(std::memory_order_acquire) != ReadCount.load(std::memory_order_relaxed);
}

sBool sMidiHandlerWin::Read(sMidiMessage &out)
{
  sU32 r = ReadCount.load(std::memory_order_relaxed);
  if(WriteCount.load(std::memory_order_acquire) == r)
    return 0;
  out = Ring[r & (RingSize - 1)];
  ReadCount.store(r + 1, std::memory_order_release);
  return 1;
}

/****************************************************************************/
/***   Outputs and names                                                  ***/
/****************************************************************************/

void sMidiHandlerWin::SendShort(sInt output, sInt status, sInt data1, sInt data2)
{
  Device &d = Outputs[output];
  sU32 message = sU32(status & 0xff) | sU32(data1 & 0xff) << 8 | sU32(data2 & 0xff) << 16;
  d.Output->SendShort(message);
}

const sChar *sMidiHandlerWin::GetDeviceName(sBool output, sInt index)
{
  sDynamicArray<Device> &list = output ? Outputs : Inputs;
  if(!list.IsIndexValid(index))
    return nullptr;
  return list[index].Name;
}

/****************************************************************************/
/***   Subsystem                                                          ***/
/****************************************************************************/

void sSetMidiBackendFactory(sMidiBackendFactory factory) { BackendFactory = factory; }

void sInitMidi()
{
  std::unique_ptr<plat::MidiBackend> backend;
  if(BackendFactory)
    backend = BackendFactory();
  sMidiHandlerPtr = sNEW sMidiHandlerWin(std::move(backend));
}

void sExitMidi()
{
  sDELETE(sMidiHandlerPtr);
}

void sAddMidi(sInt mode)
{
  (void)mode;
  sRegisterSubsystem(u"midi", 129, sInitMidi, sExitMidi);
}
