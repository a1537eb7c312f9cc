// The host's declarations of the VM's interface, checked slot by slot against the byte
// offsets of the real VM's vtables.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "pbhost/pbni.h"

#if defined(__GNUC__)  // reads g++'s representation of a member pointer
namespace {

using namespace pbni;

// The byte offset in the vtable that a call through this member function uses.  g++ (the
// Itanium ABI, which MinGW follows) keeps a pointer to a virtual member function as the
// offset plus one, followed by the adjustment of this, each a pointer-sized word.
template <class Member>
std::intptr_t VtableOffset(Member member) {
    static_assert(sizeof(Member) == 2 * sizeof(std::intptr_t), "g++'s representation");
    std::intptr_t words[2];
    std::memcpy(words, &member, sizeof words);
    EXPECT_EQ(words[1], 0) << "no adjustment of this";
    EXPECT_EQ(words[0] & 1, 1) << "a virtual function";
    return words[0] - 1;
}

// The real VM's offset in this build: the 32-bit one, or the 64-bit one (slot x 8).
std::intptr_t Offset(std::intptr_t offset32, std::intptr_t offset64) { return sizeof(void*) == 8 ? offset64 : offset32; }

TEST(PbniLayout, EverySlotTheHostCallsIsAtTheRealVmsOffset) {
    EXPECT_EQ(VtableOffset(&IPB_VM::CreateSession), Offset(0x00, 0x00));
    EXPECT_EQ(VtableOffset(&IPB_VM10::CreateSession), Offset(0x0C, 0x18));

    EXPECT_EQ(VtableOffset(&IPB_Session::Release), Offset(0x00, 0x00));
    EXPECT_EQ(VtableOffset(&IPB_Session::GetMethodID), Offset(0x0C, 0x18));
    EXPECT_EQ(VtableOffset(&IPB_Session::InitCallInfo), Offset(0x18, 0x30));
    EXPECT_EQ(VtableOffset(&IPB_Session::FreeCallInfo), Offset(0x1C, 0x38));
    EXPECT_EQ(VtableOffset(&IPB_Session::InvokeObjectFunction), Offset(0x84, 0x108));
    EXPECT_EQ(VtableOffset(&IPB_Session::HasExceptionThrown), Offset(0x8C, 0x118));
    EXPECT_EQ(VtableOffset(&IPB_Session::ClearException), Offset(0x94, 0x128));
    EXPECT_EQ(VtableOffset(&IPB_Session::FindGroup), Offset(0xA0, 0x140));
    EXPECT_EQ(VtableOffset(&IPB_Session::FindClass), Offset(0xA4, 0x148));
    EXPECT_EQ(VtableOffset(&IPB_Session::NewObject), Offset(0xBC, 0x178));
    EXPECT_EQ(VtableOffset(&IPB_Session::Unused270), Offset(270 * 4, 270 * 8)) << "271 slots";

    EXPECT_EQ(VtableOffset(&IPB_Arguments::GetAt), Offset(0x04, 0x08));

    EXPECT_EQ(VtableOffset(&IPB_Value::GetLong), Offset(0x2C, 0x58));
    EXPECT_EQ(VtableOffset(&IPB_Value::SetBool), Offset(0x6C, 0xD8));
    EXPECT_EQ(VtableOffset(&IPB_Value::SetUlong), Offset(0x74, 0xE8));
    EXPECT_EQ(VtableOffset(&IPB_Value::SetString), Offset(0x8C, 0x118));
    EXPECT_EQ(VtableOffset(&IPB_Value::Unused42), Offset(42 * 4, 42 * 8)) << "43 slots";
}

}  // namespace
#endif
