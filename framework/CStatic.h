#pragma once

#include "framework/CWnd.h"

// A static text control of a dialog.
class CStatic : public CWnd {};
