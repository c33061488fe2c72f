#pragma once
// The one object a host creates for a module: audio processor and edit controller at once.

#include "editor/editor_edits.h"
#include "editor/editor_host.h"
#include "editor/view.h"
#include "engine/module_core.h"
#include "fileaudio/file_status.h"

#include "kestravel/imodulereport.h"
#include "pluginterfaces/vst/ivstchannelcontextinfo.h"
#include "public.sdk/source/vst/vstsinglecomponenteffect.h"

#include <string>

namespace kestravel::plugins {

class UtilityPlugin : public Steinberg::Vst::SingleComponentEffect,
                      public ModuleCore,
                      public EditorHost,
                      public EditorEdits,
                      public ComponentHandlerSource,
                      public IModuleReport,
                      public Steinberg::Vst::ChannelContext::IInfoListener {
public:
    using tresult = Steinberg::tresult;
    using ParamID = Steinberg::Vst::ParamID;
    using ParamValue = Steinberg::Vst::ParamValue;

    explicit UtilityPlugin(ModuleKind moduleKind);
    ~UtilityPlugin() override;

    // [UI thread] Creation function registered with the factory: a new module of the build's kind.
    static Steinberg::FUnknown* createInstance(ModuleKind moduleKind);

    // IPluginBase [UI thread]
    tresult PLUGIN_API initialize(Steinberg::FUnknown* context) SMTG_OVERRIDE;
    tresult PLUGIN_API terminate() SMTG_OVERRIDE;

    // IEditController [UI thread]
    tresult PLUGIN_API setComponentState(Steinberg::IBStream* state) SMTG_OVERRIDE;
    ParamValue PLUGIN_API getParamNormalized(ParamID id) SMTG_OVERRIDE;
    tresult PLUGIN_API setParamNormalized(ParamID id, ParamValue value) SMTG_OVERRIDE;
    // Refuses any text that does not read as a finite number (kResultFalse).
    tresult PLUGIN_API getParamValueByString(ParamID id, Steinberg::Vst::TChar* string,
                                             ParamValue& valueNormalized) SMTG_OVERRIDE;
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) SMTG_OVERRIDE;

    // IComponent [UI thread, not processing]
    tresult PLUGIN_API setActive(Steinberg::TBool state) SMTG_OVERRIDE;
    tresult PLUGIN_API setState(Steinberg::IBStream* state) SMTG_OVERRIDE;
    tresult PLUGIN_API getState(Steinberg::IBStream* state) SMTG_OVERRIDE;
    tresult PLUGIN_API activateBus(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                   Steinberg::int32 index, Steinberg::TBool state) SMTG_OVERRIDE;

    // IAudioProcessor
    tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                          Steinberg::int32 numIns,
                                          Steinberg::Vst::SpeakerArrangement* outputs,
                                          Steinberg::int32 numOuts) SMTG_OVERRIDE;
    tresult PLUGIN_API getBusArrangement(Steinberg::Vst::BusDirection dir, Steinberg::int32 index,
                                         Steinberg::Vst::SpeakerArrangement& arr) SMTG_OVERRIDE;
    tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 symbolicSampleSize) SMTG_OVERRIDE;
    tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) SMTG_OVERRIDE;
    tresult PLUGIN_API setProcessing(Steinberg::TBool state) SMTG_OVERRIDE;
    // [audio thread, never allocates]
    tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) SMTG_OVERRIDE;
    // [UI thread] Infinite for a PLAYER with a file and a RECORDER with a destination or a take
    // running, so hosts that suspend modules with silent input keep calling them; 0 otherwise.
    Steinberg::uint32 PLUGIN_API getTailSamples() SMTG_OVERRIDE;

    // IModuleReport [UI thread]: the status line, the last refusal and the take, for rackhost.
    tresult PLUGIN_API getStatusText(Steinberg::char8* utf8, Steinberg::int32 size) SMTG_OVERRIDE;
    tresult PLUGIN_API getLastFileError(Steinberg::char8* utf8, Steinberg::int32 size) SMTG_OVERRIDE;
    tresult PLUGIN_API getTakeReport(TakeReport* report) SMTG_OVERRIDE;
    tresult PLUGIN_API getTakeFile(Steinberg::int32 index, Steinberg::char8* utf8,
                                   Steinberg::int32 size) SMTG_OVERRIDE;
    // IInfoListener [UI thread]: the track's name goes into a time-stamped take's Description.
    tresult PLUGIN_API setChannelContextInfos(Steinberg::Vst::IAttributeList* list) SMTG_OVERRIDE;

    DEFINE_INTERFACES
        DEF_INTERFACE(IModuleReport)
        DEF_INTERFACE(Steinberg::Vst::ChannelContext::IInfoListener)
    END_DEFINE_INTERFACES(SingleComponentEffect)
    REFCOUNT_METHODS(SingleComponentEffect)

    // [UI thread] The editor's one edit path: begin, store, set, perform, end.
    tresult applyEditorEdit(ParamID id, ParamValue value) override;
    // [UI thread] The same path as a gesture: begin on grab, store/set/perform per move, end.
    void beginEditorGesture(uint32_t id) override;
    void performEditorGesture(uint32_t id, double value) override;
    void endEditorGesture(uint32_t id) override;
    // [UI thread, may block] PLAYER source or RECORDER destination; false with a reason on failure.
    bool setFile(const std::u16string& path, std::string& message) override;
    // [UI thread, never blocks]
    std::string statusText() const override;

    // EditorHost [UI thread]
    ModuleKind editorKind() const override { return kind; }
    double parameterValue(uint32_t id) const override { return readParamValue(paramValues, id); }
    int32_t inputBusChannelCount(int32_t busIndex) const override { return busChannelCount(Steinberg::Vst::kInput, busIndex); }
    int32_t outputBusChannelCount(int32_t busIndex) const override { return busChannelCount(Steinberg::Vst::kOutput, busIndex); }
    float takeMeterPeak(MeterSide side, int32_t bus, int32_t channel) const override
    {
        return const_cast<MeterPeaks&>(meters).take(side, bus, channel);
    }
    bool recorderTakeClipped() const override { return meters.takeClipped.load(std::memory_order_relaxed); }
    WaveformOverview playerOverview() const override { return player.overview(); }
    uint64_t playerTotalFrames() const override { return player.totalFrames.load(); }
    uint64_t playerPosition() const override { return player.heardFrame.load(std::memory_order_relaxed); }
    bool recorderReady() const override { return recorder.ready.load(); }
    bool recorderRecording() const override { return recorder.recording.load(); }
    bool recorderFailed() const override { return recorder.failed.load(); }
    TakePanel recorderTakePanel() const override { return takePanel(recorder); }
    // ComponentHandlerSource [UI thread]: for the editor's right-click menus.
    Steinberg::FUnknown* hostComponentHandler() const override { return getComponentHandler(); }

private:
    int32_t busChannelCount(Steinberg::Vst::BusDirection direction, int32_t busIndex) const;
    void createBuses();
    void createParameters();
    void stopTransportState(); // shared part of switching processing off and deactivating
    tresult rearmRecorder(bool force = false);
    // [UI thread, blocks until the file exists] Arms RECORDER on path in the header layout the
    // time-stamp switch asks for.
    void prepareTake(const std::u16string& path, uint32_t channelCount, uint32_t rate);
    // [UI thread] A restored RECORDER destination: armed at once while active, kept for the next
    // take while one is running.
    void restoreDestination(std::u16string path, bool takeRunning);
    // [UI thread] Tells the host when getTailSamples' answer changed.
    void reportTail();
    bool wantsTail() const;
    bool componentActive = false;     // [UI thread]
    bool tailReported = false;        // [UI thread] what the host last heard
    // [UI thread] A destination restored while a take was running; the next activation arms it.
    std::u16string nextDestination;
    bool chooseFile(const std::u16string& path, std::string& message); // setFile without the record
    // The module's words for the last file or saved state it refused; empty after a success.
    std::string lastFileError;
    // [controller thread, not processing] The recorder's ring for the current channels x rate.
    bool reserveRecorderRing();
};

} // namespace kestravel::plugins
