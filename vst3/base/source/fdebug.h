// Debug helpers: assertions active in DEVELOPMENT builds only, as the SDK's base library does.
#pragma once

#include "pluginterfaces/base/fplatform.h"

#if defined(DEVELOPMENT) && DEVELOPMENT
#include <cassert>
#define SMTG_ASSERT(f) assert (f);
#define SMTG_ASSERT_MSG(f, msg) assert ((f) && (msg));
#define SMTG_WARNING(s)
#define SMTG_DBPRT0(a)
#define SMTG_DBPRT1(a, b)
#define SMTG_DBPRT2(a, b, c)
#else
#define SMTG_ASSERT(f)
#define SMTG_ASSERT_MSG(f, msg)
#define SMTG_WARNING(s)
#define SMTG_DBPRT0(a)
#define SMTG_DBPRT1(a, b)
#define SMTG_DBPRT2(a, b, c)
#endif

#ifndef NEW
#define NEW new
#endif
