// The host's declarations of the VM's interface, checked slot by slot against the byte
// offsets of the real VM's vtables.
#include <gtest/gtest.h>

#include <cstring>

#include "pbhost/pbni.h"

#if defined(__GNUC__)  // reads g++'s representation of a member pointer
namespace {

using namespace pbni;

// The byte offset in the vtable that a call through this member function uses.  g++ (the
// Itanium ABI, which MinGW follows) keeps a pointer to a virtual member function as the
// offset plus one, followed by the adjustment of this.
template <class Member>
long VtableOffset(Member member) {
    static_assert(sizeof(Member) == 2 * sizeof(long), "g++'s representation");
    long words[2];
    std::memcpy(words, &member, sizeof words);
    EXPECT_EQ(words[1], 0) << "no adjustment of this";
    EXPECT_EQ(words[0] & 1, 1) << "a virtual function";
    return words[0] - 1;
}

TEST(PbniLayout, EverySlotTheHostCallsIsAtTheRealVmsOffset) {
    EXPECT_EQ(VtableOffset(&IPB_VM::CreateSession), 0x00);

    EXPECT_EQ(VtableOffset(&IPB_Session::Release), 0x00);
    EXPECT_EQ(VtableOffset(&IPB_Session::GetMethodID), 0x0C);
    EXPECT_EQ(VtableOffset(&IPB_Session::InitCallInfo), 0x18);
    EXPECT_EQ(VtableOffset(&IPB_Session::FreeCallInfo), 0x1C);
    EXPECT_EQ(VtableOffset(&IPB_Session::InvokeObjectFunction), 0x84);
    EXPECT_EQ(VtableOffset(&IPB_Session::HasExceptionThrown), 0x8C);
    EXPECT_EQ(VtableOffset(&IPB_Session::ClearException), 0x94);
    EXPECT_EQ(VtableOffset(&IPB_Session::FindGroup), 0xA0);
    EXPECT_EQ(VtableOffset(&IPB_Session::FindClass), 0xA4);
    EXPECT_EQ(VtableOffset(&IPB_Session::NewObject), 0xBC);
    EXPECT_EQ(VtableOffset(&IPB_Session::Unused270), 270 * 4) << "271 slots";

    EXPECT_EQ(VtableOffset(&IPB_Arguments::GetAt), 0x04);

    EXPECT_EQ(VtableOffset(&IPB_Value::GetLong), 0x2C);
    EXPECT_EQ(VtableOffset(&IPB_Value::SetBool), 0x6C);
    EXPECT_EQ(VtableOffset(&IPB_Value::SetUlong), 0x74);
    EXPECT_EQ(VtableOffset(&IPB_Value::SetString), 0x8C);
    EXPECT_EQ(VtableOffset(&IPB_Value::Unused42), 42 * 4) << "43 slots";
}

}  // namespace
#endif
