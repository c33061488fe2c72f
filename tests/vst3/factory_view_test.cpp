// CPluginFactory as a host reads it, CPluginView's base behaviour, and the string helpers.
#include "public.sdk/source/common/pluginview.h"
#include "public.sdk/source/main/pluginfactory.h"
#include "public.sdk/source/vst/utility/stringconvert.h"
#include "public.sdk/source/vst/vstsinglecomponenteffect.h"
#include "pluginterfaces/base/ustring.h"

#include <gtest/gtest.h>

#include <string>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

const FUID kClassId (0x4B524143, 0x4B555449, 0x4C495459, 0x00100002);

int created = 0;
void* lastContext = nullptr;

FUnknown* createEffect (void* context)
{
	++created;
	lastContext = context;
	return static_cast<IComponent*> (new SingleComponentEffect);
}

FUnknown* createNothing (void*)
{
	return nullptr;
}

class FactoryTest : public ::testing::Test
{
protected:
	void SetUp () override
	{
		factory = new CPluginFactory (PFactoryInfo ("KESTRAVEL", "https://example.invalid",
		                                            "info@example.invalid", PFactoryInfo::kNoFlags));
		static const PClassInfo2 info (kClassId, PClassInfo::kManyInstances, kVstAudioEffectClass,
		                               "KESTRAVEL OUTPUT", 0, "Fx|Tools", nullptr, "0.1.0-beta.1",
		                               "VST 3.8.1");
		ASSERT_TRUE (factory->registerClass (&info, createEffect, &created));
	}
	void TearDown () override
	{
		if (factory)
			factory->release ();
	}

	CPluginFactory* factory = nullptr;
};

TEST_F (FactoryTest, ReportsFactoryAndClassInformation)
{
	PFactoryInfo fi;
	ASSERT_EQ (factory->getFactoryInfo (&fi), kResultOk);
	EXPECT_STREQ (fi.vendor, "KESTRAVEL");
	EXPECT_STREQ (fi.email, "info@example.invalid");
	EXPECT_EQ (fi.flags, PFactoryInfo::kUnicode);
	EXPECT_EQ (factory->getFactoryInfo (nullptr), kResultOk);

	ASSERT_EQ (factory->countClasses (), 1);
	PClassInfo2 ci2;
	ASSERT_EQ (factory->getClassInfo2 (0, &ci2), kResultOk);
	EXPECT_EQ (FUID::fromTUID (ci2.cid), kClassId);
	EXPECT_EQ (ci2.cardinality, PClassInfo::kManyInstances);
	EXPECT_STREQ (ci2.category, "Audio Module Class");
	EXPECT_STREQ (ci2.name, "KESTRAVEL OUTPUT");
	EXPECT_EQ (ci2.classFlags, 0u);
	EXPECT_STREQ (ci2.subCategories, "Fx|Tools");
	EXPECT_STREQ (ci2.vendor, "");
	EXPECT_STREQ (ci2.version, "0.1.0-beta.1");
	EXPECT_STREQ (ci2.sdkVersion, "VST 3.8.1");

	PClassInfo ci;
	ASSERT_EQ (factory->getClassInfo (0, &ci), kResultOk);
	EXPECT_EQ (FUID::fromTUID (ci.cid), kClassId);
	EXPECT_STREQ (ci.name, "KESTRAVEL OUTPUT");

	PClassInfoW ciw;
	ASSERT_EQ (factory->getClassInfoUnicode (0, &ciw), kResultOk);
	EXPECT_EQ (std::u16string (ciw.name), u"KESTRAVEL OUTPUT");
	EXPECT_EQ (std::u16string (ciw.version), u"0.1.0-beta.1");
	EXPECT_EQ (std::u16string (ciw.vendor), u"");
	EXPECT_STREQ (ciw.subCategories, "Fx|Tools");

	for (int32 bad : {-1, 1})
	{
		EXPECT_EQ (factory->getClassInfo (bad, &ci), kInvalidArgument);
		EXPECT_EQ (factory->getClassInfo2 (bad, &ci2), kInvalidArgument);
		EXPECT_EQ (factory->getClassInfoUnicode (bad, &ciw), kInvalidArgument);
	}
	EXPECT_EQ (factory->getClassInfo2 (0, nullptr), kInvalidArgument);
	EXPECT_TRUE (factory->isClassRegistered (kClassId));
	EXPECT_FALSE (factory->isClassRegistered (FUID (1, 2, 3, 4)));
}

TEST_F (FactoryTest, OtherRegistrationKinds)
{
	EXPECT_FALSE (factory->registerClass (static_cast<const PClassInfo2*> (nullptr), createEffect));
	EXPECT_FALSE (factory->registerClass (static_cast<const PClassInfo*> (nullptr), createEffect));

	const FUID plainId (5, 6, 7, 8);
	const PClassInfo plain (plainId, 1, "Component Controller Class", "Plain");
	ASSERT_TRUE (factory->registerClass (&plain, createEffect));
	PClassInfo2 ci2;
	ASSERT_EQ (factory->getClassInfo2 (1, &ci2), kResultOk);
	EXPECT_STREQ (ci2.name, "Plain");
	EXPECT_STREQ (ci2.subCategories, "");
	EXPECT_STREQ (ci2.version, "");

	// A class registered with wide texts exists only in the unicode list.
	const FUID wideId (9, 10, 11, 12);
	const PClassInfoW wide (wideId, 1, kVstAudioEffectClass, u"Wide", 0, "Fx", u"V", u"1", u"VST 3.8.1");
	ASSERT_TRUE (factory->registerClass (&wide, createEffect));
	EXPECT_EQ (factory->countClasses (), 3);
	EXPECT_EQ (factory->getClassInfo2 (2, &ci2), kResultFalse);
	EXPECT_STREQ (ci2.name, "");
	PClassInfoW ciw;
	ASSERT_EQ (factory->getClassInfoUnicode (2, &ciw), kResultOk);
	EXPECT_EQ (std::u16string (ciw.name), u"Wide");

	factory->removeAllClasses ();
	EXPECT_EQ (factory->countClasses (), 0);
}

TEST_F (FactoryTest, CreatesTheRequestedInterfaceWithOneReference)
{
	const int before = created;
	IAudioProcessor* processor = nullptr;
	ASSERT_EQ (factory->createInstance (kClassId, IAudioProcessor::iid, reinterpret_cast<void**> (&processor)),
	           kResultOk);
	ASSERT_NE (processor, nullptr);
	EXPECT_EQ (created, before + 1);
	EXPECT_EQ (lastContext, &created);
	// The creation reference was dropped: ours is the only one.
	processor->addRef ();
	EXPECT_EQ (processor->release (), 1u);
	EXPECT_EQ (processor->release (), 0u);

	void* obj = reinterpret_cast<void*> (0x1);
	EXPECT_EQ (factory->createInstance (FUID (1, 2, 3, 4), IComponent::iid, &obj), kNoInterface);
	EXPECT_EQ (obj, nullptr);
	obj = reinterpret_cast<void*> (0x1);
	EXPECT_EQ (factory->createInstance (kClassId, IPlugView::iid, &obj), kNoInterface);
	EXPECT_EQ (obj, nullptr);
#if KESTRAVEL_VST3_OWN_LAYER
	// The SDK writes through the null pointer.
	EXPECT_EQ (factory->createInstance (kClassId, IComponent::iid, nullptr), kInvalidArgument);
#endif

	const FUID failingId (1, 1, 1, 1);
	const PClassInfo2 failing (failingId, 1, kVstAudioEffectClass, "Failing", 0, "", nullptr, "", "");
	factory->registerClass (&failing, createNothing);
	EXPECT_EQ (factory->createInstance (failingId, FUnknown::iid, &obj), kNoInterface);
}

TEST_F (FactoryTest, CountsReferencesAndAnswersItsInterfaces)
{
	for (const TUID* iid : {&FUnknown::iid.toTUID (), &IPluginFactory::iid.toTUID (),
	                        &IPluginFactory2::iid.toTUID (), &IPluginFactory3::iid.toTUID ()})
	{
		void* obj = nullptr;
		ASSERT_EQ (factory->queryInterface (*iid, &obj), kResultOk);
		EXPECT_EQ (obj, static_cast<IPluginFactory3*> (factory));
		EXPECT_EQ (factory->release (), 1u);
	}
	void* obj = nullptr;
	EXPECT_EQ (factory->queryInterface (IComponent::iid, &obj), kNoInterface);
	EXPECT_EQ (obj, nullptr);

#if SMTG_OS_LINUX
	EXPECT_EQ (factory->setHostContext (nullptr), kResultTrue);
#else
	EXPECT_EQ (factory->setHostContext (nullptr), kNotImplemented);
#endif

	// The global pointer follows the factory's life.
	gPluginFactory = factory;
	EXPECT_EQ (factory->addRef (), 2u);
	EXPECT_EQ (factory->release (), 1u);
	EXPECT_EQ (factory->release (), 0u);
	factory = nullptr;
	EXPECT_EQ (gPluginFactory, nullptr);
}

class Frame : public IPlugFrame
{
public:
	tresult PLUGIN_API queryInterface (const TUID _iid, void** obj) override
	{
		QUERY_INTERFACE (_iid, obj, FUnknown::iid, IPlugFrame)
		QUERY_INTERFACE (_iid, obj, IPlugFrame::iid, IPlugFrame)
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef () override { return static_cast<uint32> (++refs); }
	uint32 PLUGIN_API release () override { return static_cast<uint32> (--refs); }
	tresult PLUGIN_API resizeView (IPlugView*, ViewRect*) override { return kResultOk; }
	int refs = 1;
};

class HookedView : public CPluginView
{
public:
	using CPluginView::CPluginView;
	void attachedToParent () override { ++attachedCalls; }
	void removedFromParent () override { ++removedCalls; }
	int attachedCalls = 0;
	int removedCalls = 0;
};

TEST (PluginView, BaseBehaviour)
{
	ViewRect initial (0, 0, 960, 580);
	auto* view = new HookedView (&initial);
	IPlugView* plugView = view;

	ViewRect size;
	ASSERT_EQ (plugView->getSize (&size), kResultTrue);
	EXPECT_EQ (size.getWidth (), 960);
	EXPECT_EQ (size.getHeight (), 580);
	EXPECT_EQ (plugView->getSize (nullptr), kInvalidArgument);

	EXPECT_EQ (plugView->isPlatformTypeSupported (kPlatformTypeHWND), kNotImplemented);
	EXPECT_FALSE (view->isAttached ());
	int parent = 0;
	EXPECT_EQ (plugView->attached (&parent, kPlatformTypeHWND), kResultOk);
	EXPECT_TRUE (view->isAttached ());
	EXPECT_EQ (view->attachedCalls, 1);
	EXPECT_EQ (plugView->removed (), kResultOk);
	EXPECT_FALSE (view->isAttached ());
	EXPECT_EQ (view->removedCalls, 1);

	ViewRect other (10, 20, 110, 220);
	EXPECT_EQ (plugView->onSize (&other), kResultTrue);
	EXPECT_EQ (view->getRect ().right, 110);
	EXPECT_EQ (plugView->onSize (nullptr), kResultTrue);
	EXPECT_EQ (plugView->canResize (), kResultFalse);
	EXPECT_EQ (plugView->checkSizeConstraint (&other), kResultFalse);
	EXPECT_EQ (plugView->onWheel (1.f), kResultFalse);
	EXPECT_EQ (plugView->onKeyDown (u'a', 0, 0), kResultFalse);
	EXPECT_EQ (plugView->onFocus (true), kResultFalse);

	Frame frame;
	EXPECT_EQ (plugView->setFrame (&frame), kResultTrue);
	EXPECT_EQ (frame.refs, 2);
	EXPECT_EQ (plugView->setFrame (nullptr), kResultTrue);
	EXPECT_EQ (frame.refs, 1);
	plugView->setFrame (&frame);

	void* obj = nullptr;
	ASSERT_EQ (plugView->queryInterface (IPlugView::iid, &obj), kResultOk);
	EXPECT_EQ (obj, plugView);
	plugView->release ();
	EXPECT_EQ (plugView->queryInterface (IPlugFrame::iid, &obj), kNoInterface);

	// Destroying the view lets go of the frame.
	EXPECT_EQ (plugView->release (), 0u);
	EXPECT_EQ (frame.refs, 1);
}

TEST (StringConvert, Utf8AndUtf16RoundTrip)
{
	const std::string utf8 = "Take \xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5";
	const std::u16string wide = StringConvert::convert (utf8);
	EXPECT_EQ (wide, u"Take \u00E9t\u00E9 \u20AC \U0001F3B5");
	EXPECT_EQ (StringConvert::convert (wide), utf8);

#if KESTRAVEL_VST3_OWN_LAYER
	// The SDK throws std::range_error here; the layer never throws and marks each bad sequence.
	EXPECT_EQ (StringConvert::convert (std::string ("a\xFF" "b\xC3")), u"a\uFFFDb\uFFFD");
	EXPECT_EQ (StringConvert::convert (std::string ("\xED\xA0\x80")), u"\uFFFD\uFFFD\uFFFD");
	EXPECT_EQ (StringConvert::convert (std::u16string (1, char16_t (0xD800))), "\xEF\xBF\xBD");
	EXPECT_EQ (StringConvert::convert (static_cast<const TChar*> (nullptr)), "");
#endif

	String128 buffer {};
	EXPECT_TRUE (StringConvert::convert (std::string ("Input 1"), buffer));
	EXPECT_EQ (std::u16string (buffer), u"Input 1");
	EXPECT_FALSE (StringConvert::convert (std::string (128, 'x'), buffer));
	EXPECT_EQ (std::u16string (buffer), u"Input 1");
	EXPECT_TRUE (StringConvert::convert (std::string (127, 'x'), buffer));
	EXPECT_EQ (StringConvert::convert (buffer, 3), "xxx");
	EXPECT_EQ (toString (42), u"42");
}

TEST (UString, CopiesNumbersAndText)
{
	UString128 s ("Output ");
	s.append (u"12");
	EXPECT_EQ (std::u16string (s), u"Output 12");
	EXPECT_EQ (s.getLength (), 9);

	char narrow[8];
	s.toAscii (narrow, sizeof (narrow));
	EXPECT_STREQ (narrow, "Output "); // cut to fit, always terminated

	char16 small[4];
	UString (small, 4).assign (u"abcdef");
	EXPECT_EQ (std::u16string (small), u"abc");
#if KESTRAVEL_VST3_OWN_LAYER
	// The SDK copies the two characters but leaves the old third one behind them.
	UString (small, 4).assign (u"abcdef", 2);
	EXPECT_EQ (std::u16string (small), u"ab");
#endif

	UString128 number;
	ASSERT_TRUE (number.printFloat (-0.125, 2));
	EXPECT_EQ (std::u16string (number), u"-0.12");
	double d = 0.;
	ASSERT_TRUE (UString128 ("3.5e2").scanFloat (d));
	EXPECT_EQ (d, 350.);
	EXPECT_FALSE (UString128 ("abc").scanFloat (d));
	ASSERT_TRUE (number.printInt (-1234567890123LL));
	EXPECT_EQ (std::u16string (number), u"-1234567890123");
	int64 i = 0;
	ASSERT_TRUE (UString128 ("  77 steps").scanInt (i));
	EXPECT_EQ (i, 77);
	EXPECT_FALSE (UString128 ("").scanInt (i));
	EXPECT_EQ (std::u16string (USTRING ("abc")), u"abc");
}

} // namespace
