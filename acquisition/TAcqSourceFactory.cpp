#include "acquisition/TAcqSourceFactory.h"

#include "acquisition/TDemoAcqSource.h"
#include "acquisition/TDeviceAcqSource.h"
#include "acquisition/TDeviceProtocol.h"
#include "settings/TSettings.h"

using namespace TAcqSourceFactory;

std::unique_ptr<TAcqSource> createAcqSource()
{
    const QString mode = TSettings::text(TSettings::AcqMode);
    const double gain = TSettings::number(TSettings::SignalGain);

    if (mode == QLatin1String(DemoMode)) {
        return std::make_unique<TDemoAcqSource>(QString::fromLatin1(DemoFileName), DemoChannelCount,
                                                DemoSampleRate, DemoBytesPerSample, DemoResolutionBits,
                                                DemoGain, DemoDataOffset);
    }
    std::unique_ptr<TDeviceAcqSource> device;
    if (mode == QLatin1String(BluetoothMode)) {
        device = std::make_unique<TDeviceAcqSource>(TSettings::text(TSettings::AcqBluetoothPort),
                                                    TDeviceProtocol::LinkSpeed);
    } else {
        device = std::make_unique<TDeviceAcqSource>(TDeviceProtocol::LinkSpeed);
    }
    if (gain > 0.0)
        device->setGain(gain);
    return device;
}
