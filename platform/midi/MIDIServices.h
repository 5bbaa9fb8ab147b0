#pragma once

#include "platform/midi/CoreMIDI.h"
#include "platform/midi/MIDIEndpointBackend.h"
#include "platform/midi/MIDIReceivedPacket.h"
#include "platform/midi/MIDIRegistry.h"
#include "platform/midi/MIDITaskThread.h"
#include "platform/midi/VirtualMIDIBackend.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The MIDI layer behind the free functions of CoreMIDI.h and VirtualMIDI.h:
// the objects, the layer's own threads, and the bookkeeping of clients,
// ports, connections and the enumeration. Traffic goes to each endpoint's
// own backend (MIDIEndpointBackend): the virtual one, always there, and the
// system's, chosen once on first use: JACK when a server runs, otherwise
// none.
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

    // Holding what other programs send, for a captured show: see
    // MIDIEndpointBackend::setHolding.
    void holdExternalInput(bool hold);
    size_t releaseHeldInput(const MIDIEndpointBackend::HeldObserver& observe);
    uint64_t heldInputDropped() const;

private:
    struct ReadTarget {
        MIDIReadProc readProc;
        void* refCon;
        void* connRefCon;
    };

    void chooseSystemBackend();
    void syncExternalEndpoints(bool notify);
    void systemBackendGone();
    MIDIObjectRef externalEntityFor(const std::string& owner);
    void postAddRemove(MIDINotificationMessageID messageID, MIDIObjectRef child);
    void deliverNotification(const MIDIObjectAddRemoveNotification& record);
    void deliverVirtual(MIDIEndpointRef source, const MIDIPacketList* list);
    // Takes the ports out of the layer, then lets every backend let go of them.
    void disposePorts(const std::vector<MIDIPortRef>& ports);

    VirtualMIDIBackend virtual_;
    // The system's backend, chosen once; null without one. Set before the
    // choice is marked made; the threads read system_.
    std::unique_ptr<MIDIEndpointBackend> systemOwner_;
    std::atomic<MIDIEndpointBackend*> system_{nullptr};
    std::atomic<bool> systemChosen_{false};
    std::atomic<bool> syncPosted_{false};
    std::mutex chooseMutex_;
    std::mutex syncMutex_;  // one endpoint sync at a time; taken before mutex_

    std::mutex mutex_;  // everything below up to the threads
    MIDIRegistry registry_;
    std::map<std::string, MIDIEntityRef> externalEntities_;  // by owning program

    // Receive-thread memory, allocated once.
    std::vector<ReadTarget> targets_;
    std::vector<Byte> receiveMemory_;

    MIDITaskThread notificationThread_;
    MIDITaskThread receiveThread_;
};
