#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class TAcqListener;
class TAcqSource;
class TSignal;

// One byte per sink channel; a channel whose byte is not zero is delivered
// as zeros. Written by the GUI thread, read by the driver's worker without a
// lock, so every byte is atomic.
class TChannelMask
{
public:
    explicit TChannelMask(int channelCount);
    int size() const { return m_size; }
    bool isMasked(int channel) const;
    void setMasked(int channel, bool masked);

private:
    int m_size;
    std::unique_ptr<std::atomic<unsigned char>[]> m_bytes;
};

// The acquisition driver: a Qt object in the GUI thread that moves
// the source's frames into its sink signal and tells its listeners. It has
// no signals or slots of its own; TQtAcqDriver is the concrete driver.
class TAcqDriver : public QObject
{
    Q_OBJECT

public:
    // Neither the source nor the sink is owned: the creator deletes the
    // source after the driver. The mask starts all clear.
    TAcqDriver(TAcqSource* source, TSignal* sink);
    ~TAcqDriver() override;

    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void requestPendingAction() = 0;
    virtual bool sourceFlag() const = 0;
    virtual bool isElectrodeOff(const QString& electrode) const = 0;
    virtual double batteryLevel() const = 0;

    TAcqSource* source() const { return m_source; }
    TSignal* sink() const { return m_sink; }

    // Listeners are told in the order they were added; not owned.
    void addListener(TAcqListener* listener);
    const std::vector<TAcqListener*>& listeners() const { return m_listeners; }

    // Mutes (delivers as zeros) or unmutes one sink channel; nothing in the
    // application mutes a channel, the mask is all clear from creation.
    void setChannelMasked(int channel, bool masked);
    bool isChannelMasked(int channel) const;

protected:
    TChannelMask* mask() const { return m_mask.get(); }
    void clearListeners() { m_listeners.clear(); }
    void releaseMask() { m_mask.reset(); }

private:
    TAcqSource* m_source;
    TSignal* m_sink;
    std::vector<TAcqListener*> m_listeners;
    std::unique_ptr<TChannelMask> m_mask;
};
