#include "NetworkManager.h"

NetworkManager *NetworkManager::object = nullptr;

NetworkManager::NetworkManager(QObject *parent)
    : QObject(parent)
{
}

NetworkManager::~NetworkManager() = default;

NetworkManager *NetworkManager::instance()
{
    if (!object)
        object = new NetworkManager;
    return object;
}

void NetworkManager::release()
{
    delete object;
    object = nullptr;
}

wireless_network_property NetworkManager::property() const
{
    return m_Property;
}
