// placeholder: PyInit__tessark
#include <Python.h>
static PyModuleDef tessark_module = {PyModuleDef_HEAD_INIT, "_tessark", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr};
PyMODINIT_FUNC PyInit__tessark() { return PyModule_Create(&tessark_module); }
