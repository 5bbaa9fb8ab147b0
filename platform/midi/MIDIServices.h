#pragma once

#include "platform/midi/CoreMIDI.h"
#include "platform/midi/JackMIDIBackend.h"
#include "platform/midi/MIDIReceivedPacket.h"
#include "platform/midi/MIDIRegistry.h"
#include "platform/midi/MIDITaskThread.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The MIDI layer behind the free functions of CoreMIDI.h and VirtualMIDI.h:
// the objects, the two backends and the layer's own threads.
//
// Threads: read callbacks of virtual sources run on the receive thread,
// those of JACK sources on JACK's process thread; notification callbacks run
// on the notification thread, which also follows JACK's port changes.
// Disposing a port or client waits for a callback of it that is running on
// another thread, so that none runs once the dispose returns.
class MIDIServices {
public:
    static MIDIServices& shared();
    MIDIServices();
    ~MIDIServices();

    OSStatus clientCreate(const std::string& name, MIDINotifyProc notifyProc, void* refCon, MIDIClientRef* out);
    OSStatus clientDispose(MIDIClientRef client);
    OSStatus portCreate(MIDIClientRef client, const std::string& name, MIDIReadProc readProc, void* refCon,
                        bool isInput, MIDIPortRef* out);
    OSStatus connectSource(MIDIPortRef port, MIDIEndpointRef source, void* connRefCon);
    OSStatus disconnectSource(MIDIPortRef port, MIDIEndpointRef source);
    OSStatus portDispose(MIDIPortRef port);

    ItemCount endpointCount(MIDIObjectType type);
    MIDIEndpointRef endpointAt(MIDIObjectType type, ItemCount index);
    OSStatus name(MIDIObjectRef object, std::optional<std::string>* out);
    OSStatus parent(MIDIObjectRef object, MIDIObjectType childType, MIDIObjectRef* out);
    OSStatus send(MIDIPortRef port, MIDIEndpointRef destination, const MIDIPacketList* list);

    MIDIObjectRef createVirtual(MIDIObjectType type, MIDIObjectRef parent, const std::optional<std::string>& name);
    void removeVirtualEndpoint(MIDIEndpointRef endpoint);
    void inject(MIDIEndpointRef source, std::vector<Byte> bytes, MIDITimeStamp time);
    void injectPacketList(MIDIEndpointRef source, const MIDIPacketList* list);
    void flush();
    std::vector<MIDIReceivedPacket> received(MIDIEndpointRef destination);
    void clearReceived(MIDIEndpointRef destination);
    using Listener = std::function<void(MIDIEndpointRef, const MIDIReceivedPacket&)>;
    void setDestinationListener(Listener listener);
    // Listeners stack: the latest one added is the one called; removing it
    // brings back the one before. Returns the token that removes it.
    uint64_t addDestinationListener(Listener listener);
    void removeDestinationListener(uint64_t token);
    void reset();

    // Holding what JACK sources send, for a captured show: see
    // JackMIDIBackend::setHolding. `observe` gets the JACK client and port
    // of the source that the receiving port is connected to (the first, if
    // it is connected to several), then the port's read callback runs.
    void holdJackInput(bool hold);
    using HeldObserver = std::function<void(const std::string& client, const std::string& port, const Byte* data,
                                            size_t length)>;
    size_t releaseJackInput(const HeldObserver& observe);
    uint64_t jackInputDropped() const { return jack_.heldDropped(); }

private:
    struct ReadTarget {
        MIDIReadProc readProc;
        void* refCon;
        void* connRefCon;
    };

    void ensureJack();
    void syncJackEndpoints(bool notify);
    void jackServerGone();
    MIDIObjectRef jackEntityFor(const std::string& clientName);
    void postAddRemove(MIDINotificationMessageID messageID, MIDIObjectRef child);
    void deliverNotification(const MIDIObjectAddRemoveNotification& record);
    void deliverVirtual(MIDIEndpointRef source, const MIDIPacketList* list);
    void disposePortLocked(MIDIPortRef port, std::vector<int>& jackSlots);

    std::mutex mutex_;  // everything below up to the threads
    MIDIRegistry registry_;
    std::map<std::string, MIDIEntityRef> jackEntities_;  // by JACK client name
    std::vector<std::pair<uint64_t, std::shared_ptr<const Listener>>> listeners_;  // the last one is called
    uint64_t nextListenerToken_ = 1;
    std::atomic<bool> jackTried_{false};
    std::atomic<bool> jackSyncPosted_{false};
    std::mutex jackOpenMutex_;
    std::mutex syncMutex_;  // one JACK endpoint sync at a time; taken before mutex_

    // Receive-thread memory, allocated once.
    std::vector<ReadTarget> targets_;
    std::vector<Byte> receiveMemory_;

    MIDITaskThread notificationThread_;
    MIDITaskThread receiveThread_;
    JackMIDIBackend jack_;  // its callbacks post to the notification thread
};
