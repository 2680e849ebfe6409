// Reads an MCAP recording with @mcap/core and prints what it holds as one
// JSON object: schemas, channels, statistics and every message (its JSON
// content parsed), for the test that wrote it to compare.
//
//   node read_mcap.mjs FILE            the indexed reader: footer, summary,
//                                      chunk indexes, message indexes and
//                                      every CRC the file has
//   node read_mcap.mjs --stream FILE   the stream reader, record by record
//                                      from the start: a file cut short
//                                      yields the messages of its whole chunks
import { open, readFile } from "node:fs/promises";
import { McapIndexedReader, McapStreamReader } from "@mcap/core";
import { crc32 } from "@foxglove/crc";

const args = process.argv.slice(2);
const stream = args[0] === "--stream";
const path = stream ? args[1] : args[0];

function message(channels, m) {
  return {
    topic: channels.get(m.channelId).topic,
    sequence: m.sequence,
    log_time: m.logTime.toString(),
    publish_time: m.publishTime.toString(),
    data: JSON.parse(new TextDecoder("utf-8", { fatal: true }).decode(m.data)),
  };
}

function describe(schemas, channels) {
  return {
    schemas: [...schemas.values()].map((s) => ({
      id: s.id,
      name: s.name,
      encoding: s.encoding,
      data: JSON.parse(new TextDecoder().decode(s.data)),
    })),
    channels: [...channels.values()].map((c) => ({
      id: c.id,
      topic: c.topic,
      schema_id: c.schemaId,
      message_encoding: c.messageEncoding,
    })),
  };
}

async function indexed() {
  const handle = await open(path, "r");
  const readable = {
    size: async () => BigInt((await handle.stat()).size),
    read: async (offset, size) => {
      const buffer = new Uint8Array(Number(size));
      const { bytesRead } = await handle.read(buffer, 0, Number(size), Number(offset));
      if (bytesRead !== Number(size)) throw new Error(`short read at ${offset}`);
      return buffer;
    },
  };
  const reader = await McapIndexedReader.Initialize({ readable });
  const messages = [];
  for await (const m of reader.readMessages({ validateCrcs: true })) messages.push(message(reader.channelsById, m));
  // The indexed reader checks the summary's and each chunk's CRC; the data
  // section's is checked here, with the same CRC the reader uses.
  const bytes = await readFile(path);
  if (reader.dataEndOffset == undefined || !reader.dataSectionCrc) throw new Error("no data section CRC");
  const actual = crc32(bytes.subarray(0, Number(reader.dataEndOffset)));
  if (actual !== reader.dataSectionCrc)
    throw new Error(`data section CRC ${actual}, expected ${reader.dataSectionCrc}`);
  await handle.close();
  const s = reader.statistics;
  return {
    ...describe(reader.schemasById, reader.channelsById),
    statistics: {
      message_count: Number(s.messageCount),
      chunk_count: s.chunkCount,
      channel_count: s.channelCount,
      channel_message_counts: Object.fromEntries([...s.channelMessageCounts].map(([k, v]) => [k, Number(v)])),
      message_start_time: s.messageStartTime.toString(),
      message_end_time: s.messageEndTime.toString(),
    },
    chunk_indexes: reader.chunkIndexes.length,
    messages,
  };
}

function streamed(bytes) {
  const reader = new McapStreamReader({ validateCrcs: true });
  reader.append(bytes);
  const schemas = new Map();
  const channels = new Map();
  const messages = [];
  let record;
  while ((record = reader.nextRecord())) {
    if (record.type === "Schema") schemas.set(record.id, record);
    else if (record.type === "Channel") channels.set(record.id, record);
    else if (record.type === "Message") messages.push(message(channels, record));
  }
  return { ...describe(schemas, channels), messages, done: reader.done() };
}

try {
  const result = stream ? streamed(await readFile(path)) : await indexed();
  process.stdout.write(JSON.stringify(result) + "\n");
} catch (e) {
  process.stderr.write(`read_mcap: ${path}: ${e.message}\n`);
  process.exit(1);
}
