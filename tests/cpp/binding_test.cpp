// The boundary guard, the CypherError conversion and the borrow flags, run inside an embedded
// interpreter (faults cannot be provoked from Python without a hook in the public surface).
#include <Python.h>
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "bindings/binding.hpp"

namespace tessark::py {
namespace {

class Interpreter : public ::testing::Environment {
 public:
  void SetUp() override { Py_InitializeEx(0); }
  void TearDown() override { Py_FinalizeEx(); }
};

const auto* const kInterpreter = ::testing::AddGlobalTestEnvironment(new Interpreter);

// The pending exception's type name and str(), clearing it.
std::pair<std::string, std::string> take_error() {
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef type_ref = PyRef::steal(type), value_ref = PyRef::steal(value), tb = PyRef::steal(traceback);
  if (!type_ref) return {"", ""};
  PyRef text = PyRef::steal(PyObject_Str(value_ref.get()));
  return {reinterpret_cast<PyTypeObject*>(type_ref.get())->tp_name, PyUnicode_AsUTF8(text.get())};
}

TEST(Guard, TranslatesEveryKindOfFault) {
  struct Case {
    void (*fault)();
    std::string type;
    std::string text;
  };
  const Case cases[] = {
      {[] { throw std::logic_error("broken invariant"); }, "InternalFault", "broken invariant"},
      {[] { throw 42; }, "InternalFault", "internal fault in _tessark"},
      {[] { throw std::bad_alloc(); }, "MemoryError", ""},
      {[] { raise(PyExc_KeyError, "k"); }, "KeyError", "'k'"},
      {[] { throw PyErrOccurred{}; }, "InternalFault", "error signalled without a Python exception"},
  };
  for (const Case& c : cases) {
    PyObject* result = guarded([&]() -> PyObject* { c.fault(); return Py_None; });
    EXPECT_EQ(result, nullptr) << c.type;
    EXPECT_EQ(take_error(), std::make_pair(c.type, c.text));
    int status = guarded([&]() -> int { c.fault(); return 0; });
    EXPECT_EQ(status, -1) << c.type;
    PyErr_Clear();
  }
  EXPECT_EQ(guarded([] { return 7; }), 7);
}

TEST(Guard, InternalFaultDerivesDirectlyFromBaseException) {
  PyObject* fault = internal_fault_type();
  ASSERT_NE(fault, nullptr);
  EXPECT_EQ(fault, internal_fault_type());  // created once
  EXPECT_EQ(reinterpret_cast<PyTypeObject*>(fault)->tp_base,
            reinterpret_cast<PyTypeObject*>(PyExc_BaseException));
  EXPECT_FALSE(PyObject_IsSubclass(fault, PyExc_Exception));
}

TEST(Guard, CypherErrorsBecomeValueErrorsWithTheirTextForm) {
  struct Case {
    CypherError error;
    std::string text;
  };
  const Case cases[] = {
      {CypherError::generator("no labels"), "Generator error: no labels"},
      {CypherError::parse("no labels"), "Parse error: no labels"},
      {CypherError{CypherError::Kind::Semantic, std::string("x")}, "Semantic error: x"},
      {CypherError::parse(""), "Parse error: "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(guarded([&]() -> PyObject* { return unwrap(Result<PyObject*>(c.error)); }), nullptr);
    EXPECT_EQ(take_error(), std::make_pair(std::string("ValueError"), c.text));
  }
}

TEST(Borrow, ConflictsAreRefused) {
  BorrowFlag flag;
  {
    SharedBorrow first(flag);
    SharedBorrow second(flag);  // shared borrows stack
    EXPECT_EQ(guarded([&]() -> PyObject* { ExclusiveBorrow refused(flag); return Py_None; }), nullptr);
    EXPECT_EQ(take_error(), std::make_pair(std::string("RuntimeError"), std::string("Already borrowed")));
  }
  {
    ExclusiveBorrow only(flag);
    EXPECT_EQ(guarded([&]() -> PyObject* { SharedBorrow refused(flag); return Py_None; }), nullptr);
    EXPECT_EQ(take_error(), std::make_pair(std::string("RuntimeError"), std::string("Already mutably borrowed")));
  }
  EXPECT_EQ(flag.state, 0);
  ExclusiveBorrow again(flag);  // released by every scope above
}

}  // namespace
}  // namespace tessark::py
