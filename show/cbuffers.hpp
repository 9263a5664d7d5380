#pragma once
// The constant buffers of one draw: header and registers in one block of frame memory.
//
// Every draw of a form or a screen pass takes fresh buffers with NewCBuffer; they live
// until the frame ends and are never freed one by one (no destructor runs). A fresh
// buffer starts with its leading 4x4 identity matrices and zero registers after them,
// and is marked modified, so its first bind uploads it. Main thread, inside a frame.

#include "base/framemem.hpp"
#include "graphics/graphics.hpp"

// (The parameters are named apart from the base's Slot and Count, which would hide them.)
template <sInt SlotNo, sInt Regs, sInt Identities> class FrameCBuffer : public sCBufferBase
{
public:
  sVec4 Reg[Regs];

  FrameCBuffer()
  {
    SetRegs(SlotNo, 0, Regs);
    for(sInt r = 0; r < Regs; r++) Reg[r].Init(0, 0, 0, 0);
    for(sInt m = 0; m < Identities; m++)
      for(sInt r = 0; r < 4; r++)
      {
        sF32 *v = &Reg[m * 4 + r].x;
        v[r] = 1.0f;
      }
    Data = Reg;
    Modify();
  }
};

// A buffer of the type in frame memory.
template <class T> T *NewCBuffer()
{
  void *mem = sAllocFrame(sizeof(T), 16);
  return new(mem) T();
}

// The buffer types, by stage, register count and leading identity matrices.
using CBufferMatrix = FrameCBuffer<sCBUFFER_VS, 4, 1>;
using CBufferMatrix3V = FrameCBuffer<sCBUFFER_VS, 7, 1>;
using CBufferMatrix1V = FrameCBuffer<sCBUFFER_VS, 5, 1>;
using CBufferVS10 = FrameCBuffer<sCBUFFER_VS, 10, 1>;
using CBufferVS11 = FrameCBuffer<sCBUFFER_VS, 11, 1>;
using CBufferVS16 = FrameCBuffer<sCBUFFER_VS, 16, 1>;
using CBufferVS17 = FrameCBuffer<sCBUFFER_VS, 17, 4>;
using CBufferVS21 = FrameCBuffer<sCBUFFER_VS, 21, 5>;
using CBufferVS23 = FrameCBuffer<sCBUFFER_VS, 23, 2>;
using CBufferParams1 = FrameCBuffer<sCBUFFER_PS, 1, 0>;
using CBufferParams2 = FrameCBuffer<sCBUFFER_PS, 2, 0>;
using CBufferParams3 = FrameCBuffer<sCBUFFER_PS, 3, 0>;
using CBufferParams5 = FrameCBuffer<sCBUFFER_PS, 5, 0>;
using CBufferParams6 = FrameCBuffer<sCBUFFER_PS, 6, 0>;
using CBufferParams8 = FrameCBuffer<sCBUFFER_PS, 8, 0>;
using CBufferParams9 = FrameCBuffer<sCBUFFER_PS, 9, 0>;
using CBufferParams11 = FrameCBuffer<sCBUFFER_PS, 11, 0>;
using CBufferParams15 = FrameCBuffer<sCBUFFER_PS, 15, 0>;
