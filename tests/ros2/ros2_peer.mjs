// A ROS 2 peer no one here wrote, for the tests of tavik-ros2: @foxglove/ros2
// joins the domain and subscribes; each message is printed decoded, one JSON
// line: {"topic", "t" (receive time, s since the epoch), "msg"}. Discovery is
// printed too: {"event": "publication" | "subscription", "topic", "type",
// "durability", "reliability"}, and {"event": "ready", "t"} once it has subscribed.
//
//   node ros2_peer.mjs [--domain N] [--cmd-vel /NS/cmd_vel] TOPIC=TYPE[@volatile]...
//
// TYPE is a ROS 2 type (nav_msgs/msg/Odometry). @foxglove/ros2 subscribes
// transient-local, which a volatile writer does not offer; @volatile subscribes
// through the same participant with volatile durability.
//
// @foxglove/ros2 has no publisher, so the cmd_vel writer is made here from
// @foxglove/rtps' parts: a reliable, volatile writer announced in SEDP, whose
// samples are geometry_msgs/msg/Twist as XCDR1 from @foxglove/rosmsg2-serialization.
// Commands on stdin, one JSON line each:
//   {"twist": [vx, wz], "rate": 20}   send it now, and rate times a second until told otherwise
//   {"stop_sending": true}            send nothing more
// The peer ends at the end of its input or on SIGTERM.
import { createRequire } from "node:module";
import { createInterface } from "node:readline";

// The packages are CommonJS, whose names Node.js cannot all import by name.
const require = createRequire(import.meta.url);
const { RosNode, Subscription, rosTopicToDds, rosTypeToDds } = require("@foxglove/ros2");
const { ros2humble: definitions } = require("@foxglove/rosmsg-msgs-common");
const { MessageWriter } = require("@foxglove/rosmsg2-serialization");
const {
  ChangeKind,
  Durability,
  EntityIdBuiltin,
  EntityKind,
  HistoryKind,
  Parameters,
  Reliability,
  Writer,
  addToMultiMap,
  makeEntityId,
  makeGuid,
} = require("@foxglove/rtps");
const { UdpSocketNode } = require("@foxglove/rtps/nodejs");
const { fromDate } = require("@foxglove/rostime");

const print = (object) =>
  process.stdout.write(
    JSON.stringify(object, (_key, value) => {
      if (typeof value === "bigint") return Number(value);
      if (ArrayBuffer.isView(value)) return Array.from(value);
      return value;
    }) + "\n",
  );

function fail(why) {
  process.stderr.write(`ros2_peer: ${why}\n`);
  process.exit(2);
}

// The definitions a reader needs: the type's own first, then every type it uses.
function definitionsOf(rosType) {
  const [pkg, , name] = rosType.split("/");
  const out = [];
  const seen = new Set();
  const add = (key) => {
    if (seen.has(key)) return;
    const definition = definitions[key];
    if (definition == undefined) fail(`no definition of ${key}`);
    seen.add(key);
    out.push(definition);
    for (const field of definition.definitions) {
      if (field.isComplex === true) add(field.type);
    }
  };
  add(`${pkg}/${name}`);
  return out;
}

let domainId = 0;
let cmdVelTopic = "/cmd_vel";
const topics = [];
const args = process.argv.slice(2);
for (let i = 0; i < args.length; i++) {
  if (args[i] === "--domain") domainId = Number(args[++i]);
  else if (args[i] === "--cmd-vel") cmdVelTopic = args[++i];
  else {
    const match = /^([^=]+)=([^@]+)(@volatile)?$/.exec(args[i]);
    if (match == undefined) fail(`not TOPIC=TYPE[@volatile]: ${args[i]}`);
    topics.push({ topic: match[1], type: match[2], volatile: match[3] != undefined });
  }
}

const node = new RosNode({
  name: "tavik_test_peer",
  domainId,
  addresses: ["127.0.0.1"],
  udpSocketCreate: UdpSocketNode.Create,
  // An endpoint it could not read is one it will never match: said on
  // standard error. It needs each endpoint's topic, type, reliability,
  // protocol version, vendor and GUID; Cyclone DDS leaves the reliability
  // out of a writer's announcement while it is the default (reliable, 100 ms
  // blocking).
  log: {
    warn: (message) => {
      if (message.startsWith("failed to parse"))
        process.stderr.write(`ros2_peer: @foxglove/rtps ${message} (no reliability in it?)\n`);
    },
  },
});
const participant = node._participant;
const endpointEvent = (event) => (endpoint) =>
  print({
    event,
    topic: endpoint.topicName,
    type: endpoint.typeName,
    durability: endpoint.durability === Durability.TransientLocal ? "transient_local" : "volatile",
    reliability: endpoint.reliability.kind === Reliability.Reliable ? "reliable" : "best_effort",
  });
node.on("discoveredPublication", endpointEvent("publication"));
node.on("discoveredSubscription", endpointEvent("subscription"));
participant.on("error", (err) => process.stderr.write(`ros2_peer: ${err}\n`));

await node.start();

for (const { topic, type, volatile } of topics) {
  const msgDefinition = definitionsOf(type);
  let subscription;
  if (volatile) {
    const subscribeOpts = {
      topicName: rosTopicToDds(topic),
      typeName: rosTypeToDds(type),
      durability: Durability.Volatile,
      reliability: { kind: Reliability.Reliable, maxBlockingTime: { sec: 0x7fffffff, nsec: 0xffffffff } },
      history: { kind: HistoryKind.KeepLast, depth: 10 },
    };
    const readerEntityId = participant.subscribe(subscribeOpts);
    subscription = new Subscription({ subscribeOpts, readerEntityId, participant, msgDefinition });
  } else {
    subscription = node.subscribe({ topic, dataType: type, msgDefinition });
  }
  subscription.on("message", (_timestamp, msg) => print({ topic, t: Date.now() / 1000, msg }));
}

// The cmd_vel writer, and its announcement in SEDP (the publications writer's
// history, which reaches each participant found before or after).
const writerEntityId = makeEntityId(0x100, EntityKind.AppdefWriterNoKey);
const writerGuid = makeGuid(participant.attributes.guidPrefix, writerEntityId);
const cmdVel = {
  topicName: rosTopicToDds(cmdVelTopic),
  typeName: "geometry_msgs::msg::dds_::Twist_",
  durability: Durability.Volatile,
  reliability: { kind: Reliability.Reliable, maxBlockingTime: { sec: 0, nsec: 100_000_000 } },
  history: { kind: HistoryKind.KeepLast, depth: 1 },
};
const writer = new Writer({
  guidPrefix: participant.attributes.guidPrefix,
  entityId: writerEntityId,
  ...cmdVel,
  protocolVersion: participant.attributes.protocolVersion,
  vendorId: participant.attributes.vendorId,
});
participant._writers.set(writerEntityId, writer);
{
  const parameters = new Parameters();
  parameters.topicName(cmdVel.topicName);
  parameters.typeName(cmdVel.typeName);
  parameters.durability(cmdVel.durability);
  parameters.reliability(cmdVel.reliability);
  parameters.history(cmdVel.history);
  parameters.protocolVersion(participant.attributes.protocolVersion);
  parameters.vendorId(participant.attributes.vendorId);
  parameters.endpointGuid(writerGuid);
  parameters.finish();
  const publications = participant._writers.get(EntityIdBuiltin.PublicationsWriter);
  publications.history.set({
    timestamp: fromDate(new Date()),
    kind: ChangeKind.Alive,
    writerGuid: makeGuid(participant.attributes.guidPrefix, EntityIdBuiltin.PublicationsWriter),
    sequenceNumber: publications.history.nextSequenceNum(),
    data: parameters.data,
    instanceHandle: writerGuid,
  });
  void participant.sendMetatrafficChanges(publications);
}
// @foxglove/rtps matches remote readers only to its own builtin writers:
// a reader of cmd_vel is matched to this writer here.
participant.on("discoveredSubscription", (endpoint) => {
  if (endpoint.topicName !== cmdVel.topicName || endpoint.typeName !== cmdVel.typeName) return;
  const view = participant._participants.get(endpoint.guidPrefix);
  const matched = view?.localWriterIdToRemoteReaderIds.get(writerEntityId) ?? [];
  if (view != undefined && !matched.includes(endpoint.entityId)) {
    addToMultiMap(writerEntityId, endpoint.entityId, view.localWriterIdToRemoteReaderIds);
  }
});

const twistWriter = new MessageWriter(definitionsOf("geometry_msgs/msg/Twist"));
function sendTwist([vx, wz]) {
  const data = twistWriter.writeMessage({
    linear: { x: vx, y: 0, z: 0 },
    angular: { x: 0, y: 0, z: wz },
  });
  writer.history.set({
    timestamp: fromDate(new Date()),
    kind: ChangeKind.Alive,
    writerGuid,
    sequenceNumber: writer.history.nextSequenceNum(),
    data,
    instanceHandle: writerGuid,
  });
  void participant.sendDefaultChanges(writer);
}

let timer;
const stopSending = () => {
  clearInterval(timer);
  timer = undefined;
};
print({ event: "ready", t: Date.now() / 1000 });

let ending = false;
async function end() {
  if (ending) return;
  ending = true;
  stopSending();
  await node.shutdown();
  process.exit(0);
}
process.on("SIGTERM", () => void end());
const input = createInterface({ input: process.stdin });
input.on("line", (line) => {
  if (line.trim() === "") return;
  let command;
  try {
    command = JSON.parse(line);
  } catch (err) {
    fail(`not JSON: ${line}`);
  }
  if (command.stop_sending === true) {
    stopSending();
  } else if (Array.isArray(command.twist)) {
    stopSending();
    sendTwist(command.twist);
    if (command.rate > 0) timer = setInterval(() => sendTwist(command.twist), 1000 / command.rate);
  } else {
    fail(`unknown command: ${line}`);
  }
});
input.on("close", () => void end());
