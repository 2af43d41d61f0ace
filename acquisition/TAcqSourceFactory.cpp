#include "acquisition/TAcqSourceFactory.h"

#include "acquisition/TDemoAcqSource.h"
#include "acquisition/TDeviceSourceSeam.h"
#include "app/TSettings.h"

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
    if (mode == QLatin1String(BluetoothMode)) {
        const QString port = TSettings::text(TSettings::AcqBluetoothPort);
        return createBluetoothDeviceAcqSource(port, DeviceLinkSpeed, gain);
    }
    return createUsbDeviceAcqSource(DeviceLinkSpeed, gain);
}
