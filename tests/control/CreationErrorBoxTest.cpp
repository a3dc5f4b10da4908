// Without the card toolkit the control cannot be made: the user is told in
// the "DAX Error" box and the host gets E_UNEXPECTED. Runs alone: it
// unregisters the virtual card for a moment.
#include <gtest/gtest.h>

#include "ControlFixture.h"
#include "TestSupport.h"

using namespace qelt;
using namespace qelt::test;

TEST(DaxError, CreationWithoutTheToolkitShowsTheBoxAndFails) {
  win::ComScope com;
  OcxModule module;
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module.GetClassObject(CLSID_QELTReader, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())),
            S_OK);
  UnregisterVirtualCard();
  HRESULT hr = S_OK;
  void* out = reinterpret_cast<void*>(1);
  std::vector<MessageBoxWatch::Box> boxes;
  {
    MessageBoxWatch watch;
    hr = factory->CreateInstance(nullptr, IID_IQELTReader, &out);
    boxes = watch.Boxes();
  }
  RegisterVirtualCard();
  EXPECT_EQ(hr, E_UNEXPECTED);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "DAX Error");
  EXPECT_EQ(boxes[0].text, win::ComErrorMessage(REGDB_E_CLASSNOTREG) + ".");
  EXPECT_EQ(boxes[0].text, "OLE error 80040154.");  // Wine has no text of its own for it
  factory.Reset();
  EXPECT_EQ(module.CanUnloadNow(), S_OK);  // the failed control is gone
}
