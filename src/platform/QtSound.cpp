#include "platform/QtSound.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QUrl>

#include "present/WidgetText.h"

namespace velto {

QtSound::QtSound(QObject* parent) : QObject(parent) {}

void QtSound::PlayAsync(const std::string& path) {
    const QString file = FromSetting(path);  // the name as the settings hold it
    if (!QFileInfo(file).isFile()) return;
    if (!m_player) {
        // Made on first use: a program that never plays sound never opens an
        // audio device.
        m_player = new QMediaPlayer(this);
        m_output = new QAudioOutput(this);
        m_player->setAudioOutput(m_output);
    }
    if (m_player->playbackState() == QMediaPlayer::PlayingState) return;
    m_player->setSource(QUrl::fromLocalFile(file));
    m_player->play();
}

void QtSound::Stop() {
    if (m_player) m_player->stop();
}

}  // namespace velto
