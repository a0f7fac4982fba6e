// Parameter files and option values, through the command line's own
// resolution of them (ResolveEffectOptions) onto a host with the plug-in.
// Input: the --params file's bytes; then, after a NUL, the texts of --host,
// --depth, --downsample, --par, --threads and one option per parameter, each
// ended by a NUL (a checkbox's text is "on", "off" or absent).
//
// Whatever is accepted must be in the declared ranges, and the values the
// tools save (the JSON of a host's parameters) must read back to the same.
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "clip/EffectSession.h"
#include "clip/EffectSetup.h"
#include "fuzz/drivers/Bytes.h"
#include "fuzz/drivers/DriverSupport.h"
#include "fuzz/drivers/Scratch.h"
#include "host/HostError.h"
#include "params/EffectParams.h"
#include "support/InputError.h"

namespace vfuzz {

namespace {


class ParamsDriver : public Driver {
public:
    // Each input loads the module again, as the command does; kept loaded
    // here, that is a reference count, and the fuzzer's coverage counters
    // in the module are never unmapped under it.
    ParamsDriver() { EffectModule(); }

    std::string Run(const uint8_t* data, size_t size) override {
        Bytes in(data, size);
        const std::string file = in.Until('\0');
        vclip::EffectOptions options;
        options.module = EffectModulePath();
        options.params_file = ScratchFile("params.json", file.data(), file.size());
        for (std::string* text : {&options.host, &options.depth, &options.downsample, &options.par, &options.threads}) {
            if (!in.Empty()) *text = in.Until('\0');
        }
        if (options.host.empty()) options.host = "ae";
        for (size_t i = 0; i < options.params.size() && !in.Empty(); ++i) {
            vclip::EffectOptions::Param& param = options.params[i];
            param.text = in.Until('\0');
            if (vparams::ParamTable()[i].flag) {
                param.on = param.text == "on";
                param.off = param.text == "off";
                param.text.clear();
            }
        }
        return Guarded([&]() -> std::string {
            vclip::ResolvedEffect effect;
            try {
                effect = vclip::ResolveEffectOptions(options);
            } catch (const vsupport::InputError&) {
                return {};  // refused, naming what: the tools' answer to a bad file or value
            } catch (const vhost::HostError&) {
                return {};  // the same, from the layers that still report a bad file as the host's error
            }
            if (std::string bad = OutOfRange(effect.values, effect.declared); !bad.empty()) return bad;

            vclip::EffectSession first(effect, kLayerWidth, kLayerHeight);
            const std::string saved = vparams::ReadEffectValuesJson(first.Host()).dump();
            vclip::ResolvedEffect again = effect;
            again.values = vparams::EffectValuesFromJsonText(saved, {}, "the saved values", effect.declared);
            vclip::EffectSession second(again, kLayerWidth, kLayerHeight);
            const std::string resaved = vparams::ReadEffectValuesJson(second.Host()).dump();
            if (resaved != saved) return "saved values " + saved + " read back as " + resaved;
            return {};
        });
    }

    std::string Dictionary() const override {
        std::string dict = JsonWords();
        for (const char* word : {"ae", "premiere", "8", "16", "float", "1/1", "on", "off", ","}) {
            dict += DictionaryWord(word);
        }
        return dict;
    }
};

}  // namespace

std::unique_ptr<Driver> MakeParamsDriver() { return std::make_unique<ParamsDriver>(); }

}  // namespace vfuzz
