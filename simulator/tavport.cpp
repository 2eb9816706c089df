// tavport.sys, simulated: the kernel driver that stands in for the real
// tavport.sys, which lies outside the kit. It creates the links
// \\.\TAV1 to \\.\TAV3 (only link n when the service's Parameters value
// UseLpt is n) and hands every request on them to the portable instrument
// model (link.cpp, instrument.cpp). A control device \\.\TAVSIM lets
// tests script replies and read back the frames (simcontrol.h).
//
// All requests are METHOD_BUFFERED: the I/O manager's system buffer holds
// the input and receives the output, and its size is the larger of the
// two lengths, so the model is given exactly those lengths.
#include <ntddk.h>

#include "simcontrol.h"

#define LINK_COUNT 3
#define CONTROL_LINK 0  // the device extension's link number of \\.\TAVSIM

struct DeviceState {
  unsigned Link;
};

static PDEVICE_OBJECT Devices[LINK_COUNT + 1];  // index 0: the control device
static uint32_t LinkMask;
static KSPIN_LOCK ModelLock;  // Wine may deliver requests from several threads

// UseLpt from the service key's Parameters subkey; 0 when absent or unreadable.
static ULONG ReadUseLpt(PUNICODE_STRING registryPath) {
  ULONG useLpt = 0;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, registryPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                             NULL, NULL);
  HANDLE serviceKey;
  if (!NT_SUCCESS(ZwOpenKey(&serviceKey, KEY_READ, &attributes))) return 0;

  UNICODE_STRING parametersName;
  RtlInitUnicodeString(&parametersName, L"Parameters");
  InitializeObjectAttributes(&attributes, &parametersName,
                             OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, serviceKey, NULL);
  HANDLE parametersKey;
  if (NT_SUCCESS(ZwOpenKey(&parametersKey, KEY_READ, &attributes))) {
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, L"UseLpt");
    // Room for the header and a DWORD, whatever the value's actual type.
    ULONG buffer[(sizeof(KEY_VALUE_PARTIAL_INFORMATION) + 16) / sizeof(ULONG)];
    ULONG resultLength = 0;
    PKEY_VALUE_PARTIAL_INFORMATION info = (PKEY_VALUE_PARTIAL_INFORMATION)buffer;
    NTSTATUS status = ZwQueryValueKey(parametersKey, &valueName, KeyValuePartialInformation,
                                      info, sizeof buffer, &resultLength);
    if (NT_SUCCESS(status) && info->Type == REG_DWORD && info->DataLength == sizeof(ULONG)) {
      useLpt = *(ULONG*)info->Data;
    }
    ZwClose(parametersKey);
  }
  ZwClose(serviceKey);
  return useLpt;
}

static void NameWithNumber(WCHAR* name, const WCHAR* prefix, unsigned link) {
  unsigned i = 0;
  for (; prefix[i] != 0; i++) name[i] = prefix[i];
  if (link != CONTROL_LINK) name[i++] = (WCHAR)(L'0' + link);
  name[i] = 0;
}

// Creates \Device\TAVn and \??\TAVn (\Device\TAVSIM and \??\TAVSIM for
// the control device).
static NTSTATUS CreateLink(PDRIVER_OBJECT driver, unsigned link) {
  WCHAR deviceText[32], linkText[32];
  NameWithNumber(deviceText, link == CONTROL_LINK ? L"\\Device\\TAVSIM" : L"\\Device\\TAV", link);
  NameWithNumber(linkText, link == CONTROL_LINK ? L"\\??\\TAVSIM" : L"\\??\\TAV", link);
  UNICODE_STRING deviceName, linkName;
  RtlInitUnicodeString(&deviceName, deviceText);
  RtlInitUnicodeString(&linkName, linkText);

  PDEVICE_OBJECT device;
  NTSTATUS status = IoCreateDevice(driver, sizeof(DeviceState), &deviceName, FILE_DEVICE_UNKNOWN,
                                   0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  ((DeviceState*)device->DeviceExtension)->Link = link;
  device->Flags |= DO_BUFFERED_IO;
  status = IoCreateSymbolicLink(&linkName, &deviceName);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  Devices[link] = device;
  return STATUS_SUCCESS;
}

static void DeleteLinks(void) {
  for (unsigned link = 0; link <= LINK_COUNT; link++) {
    if (Devices[link] == NULL) continue;
    WCHAR linkText[32];
    NameWithNumber(linkText, link == CONTROL_LINK ? L"\\??\\TAVSIM" : L"\\??\\TAV", link);
    UNICODE_STRING linkName;
    RtlInitUnicodeString(&linkName, linkText);
    IoDeleteSymbolicLink(&linkName);
    IoDeleteDevice(Devices[link]);
    Devices[link] = NULL;
  }
  LinkMask = 0;
}

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static NTSTATUS NTAPI OpenOrClose(PDEVICE_OBJECT, PIRP irp) { return Complete(irp, STATUS_SUCCESS, 0); }

// A request on the control device; the model lock is held.
static NTSTATUS Control(uint32_t code, uint8_t* buffer, ULONG inLength, ULONG outLength,
                        ULONG_PTR* written) {
  switch (code) {
    case IOCTL_TAVSIM_POWER_ON:
      SimPowerOn();
      return STATUS_SUCCESS;
    case IOCTL_TAVSIM_QUEUE_SCRIPT: {
      if (inLength < sizeof(SimScript)) return STATUS_INVALID_PARAMETER;
      SimScript script;
      RtlCopyMemory(&script, buffer, sizeof script);
      return SimQueueScript(&script) ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER;
    }
    case IOCTL_TAVSIM_CLEAR_SCRIPTS:
      SimClearScripts();
      return STATUS_SUCCESS;
    case IOCTL_TAVSIM_CLEAR_FRAMES:
      SimClearFrames();
      return STATUS_SUCCESS;
    case IOCTL_TAVSIM_FRAME_COUNT:
    case IOCTL_TAVSIM_LINKS: {
      if (outLength < sizeof(uint32_t)) return STATUS_BUFFER_TOO_SMALL;
      uint32_t value = code == IOCTL_TAVSIM_LINKS ? LinkMask : SimFrameCount();
      RtlCopyMemory(buffer, &value, sizeof value);
      *written = sizeof value;
      return STATUS_SUCCESS;
    }
    case IOCTL_TAVSIM_READ_FRAME: {
      if (inLength < sizeof(uint32_t)) return STATUS_INVALID_PARAMETER;
      if (outLength < sizeof(SimFrame)) return STATUS_BUFFER_TOO_SMALL;
      uint32_t index;
      RtlCopyMemory(&index, buffer, sizeof index);
      static SimFrame frame;  // too large for a kernel stack; the lock guards it
      if (!SimReadFrame(index, &frame)) return STATUS_INVALID_PARAMETER;
      RtlCopyMemory(buffer, &frame, sizeof frame);
      *written = sizeof frame;
      return STATUS_SUCCESS;
    }
    default:
      return STATUS_INVALID_DEVICE_REQUEST;
  }
}

static NTSTATUS NTAPI DeviceControl(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  unsigned link = ((DeviceState*)device->DeviceExtension)->Link;
  uint32_t code = stack->Parameters.DeviceIoControl.IoControlCode;
  ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  uint8_t* buffer = (uint8_t*)irp->AssociatedIrp.SystemBuffer;
  if (buffer == NULL) {
    inLength = 0;
    outLength = 0;
  }

  NTSTATUS status;
  ULONG_PTR written = 0;
  KIRQL oldIrql;
  KeAcquireSpinLock(&ModelLock, &oldIrql);
  if (link == CONTROL_LINK) {
    status = Control(code, buffer, inLength, outLength, &written);
  } else {
    uint32_t count = 0;
    switch (SimDeviceControl(link, code, buffer, inLength, buffer, outLength, &count)) {
      case SIM_DONE:
        status = STATUS_SUCCESS;
        written = count;
        break;
      case SIM_UNKNOWN_CODE:
        status = STATUS_INVALID_DEVICE_REQUEST;
        break;
      case SIM_OUTPUT_TOO_SMALL:
        status = STATUS_BUFFER_TOO_SMALL;
        break;
      default:
        status = STATUS_UNSUCCESSFUL;
        break;
    }
  }
  KeReleaseSpinLock(&ModelLock, oldIrql);
  return Complete(irp, status, written);
}

static VOID NTAPI DriverUnload(PDRIVER_OBJECT) { DeleteLinks(); }

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  KeInitializeSpinLock(&ModelLock);
  SimPowerOn();
  ULONG useLpt = ReadUseLpt(registryPath);

  driver->MajorFunction[IRP_MJ_CREATE] = OpenOrClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = OpenOrClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DeviceControl;
  driver->DriverUnload = DriverUnload;

  NTSTATUS status = CreateLink(driver, CONTROL_LINK);
  for (unsigned link = 1; link <= LINK_COUNT && NT_SUCCESS(status); link++) {
    if (useLpt >= 1 && useLpt <= LINK_COUNT && useLpt != link) continue;
    status = CreateLink(driver, link);
    if (NT_SUCCESS(status)) LinkMask |= 1u << link;
  }
  if (!NT_SUCCESS(status)) DeleteLinks();
  return status;
}
