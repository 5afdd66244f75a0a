#pragma once
// New-mail sound: played without waiting; a sound still playing is left to
// finish; a missing file or no audio device stays silent.
#include <QObject>

#include "engine/EngineServices.h"

class QMediaPlayer;
class QAudioOutput;

namespace velto {

class QtSound : public QObject, public ISound {
    Q_OBJECT
public:
    explicit QtSound(QObject* parent = nullptr);
    void PlayAsync(const std::string& path) override;
    void Stop() override;

private:
    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_output = nullptr;
};

}  // namespace velto
