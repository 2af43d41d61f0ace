#pragma once

// Counts the packets the reader delivers and tells when the device is due
// its keep-alive pair: after every 60000 packets, one minute of streaming.
class TKeepAliveCounter
{
public:
    static constexpr int Interval = 60000;

    // Counts one packet; true when it completes an interval.
    bool countPacket()
    {
        if (--m_remaining > 0)
            return false;
        m_remaining = Interval;
        return true;
    }

private:
    int m_remaining = Interval;
};
